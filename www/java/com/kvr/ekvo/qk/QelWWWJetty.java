package com.kvr.ekvo.qk;

import java.net.URISyntaxException;
import java.nio.file.Files;
import java.nio.file.Path;
import org.eclipse.jetty.server.HttpConfiguration;
import org.eclipse.jetty.server.HttpConnectionFactory;
import org.eclipse.jetty.server.Server;
import org.eclipse.jetty.server.ServerConnector;
import org.eclipse.jetty.servlet.ServletContextHandler;
import org.eclipse.jetty.servlet.ServletHolder;

/**
 * Runs the gateway servlet in an embedded Jetty on the loopback interface.
 *
 * <p>Usage: QelWWWJetty PORT CONFIGDIR [LIBRARY]. PORT 0 takes any free port; the port taken
 * is printed as "listening on 127.0.0.1 port N". CONFIGDIR holds qelwww.ini. LIBRARY is the
 * absolute path of libqelwwwsl.so; without it the library is taken from the directory that
 * holds this class's jar (or class tree). The servlet answers at /qelwww/servlet.
 */
public final class QelWWWJetty {
    static final String CONTEXT_PATH = "/qelwww";
    static final String SERVLET_PATH = "/servlet";
    static final String STRICT_HEADERS = "org.eclipse.jetty.http.HttpGenerator.STRICT";

    private QelWWWJetty() {}

    public static void main(String[] args) throws Exception {
        if (args.length < 2 || args.length > 3) {
            System.err.println("usage: QelWWWJetty PORT CONFIGDIR [LIBRARY]");
            System.exit(2);
        }
        int port;
        try {
            port = Integer.parseInt(args[0]);
        } catch (NumberFormatException e) {
            port = -1;
        }
        if (port < 0 || port > 65535) {
            System.err.println("qelwww: not a port number: " + args[0]);
            System.exit(2);
        }
        Path configDir = Path.of(args[1]).toAbsolutePath();
        Path library = args.length == 3 ? Path.of(args[2]) : besideCode();
        if (!library.isAbsolute()) {
            System.err.println("qelwww: the library path must be absolute: " + library);
            System.exit(2);
        }
        if (!Files.isRegularFile(library)) {
            System.err.println("qelwww: no gateway library at " + library);
            System.exit(2);
        }

        // Send the gateway's headers as it wrote them: without this Jetty rewrites a known
        // content type into its own spelling. Read once, when Jetty's classes load.
        if (System.getProperty(STRICT_HEADERS) == null) {
            System.setProperty(STRICT_HEADERS, "true");
        }
        Server server = new Server();
        HttpConfiguration http = new HttpConfiguration();
        http.setSendServerVersion(false);
        ServerConnector connector = new ServerConnector(server, new HttpConnectionFactory(http));
        connector.setHost("127.0.0.1");
        connector.setPort(port);
        server.addConnector(connector);

        ServletContextHandler context = new ServletContextHandler(ServletContextHandler.NO_SESSIONS);
        context.setContextPath(CONTEXT_PATH);
        ServletHolder holder = new ServletHolder("qelwww", QelWWWServlet.class);
        holder.setInitParameter("configDir", configDir.toString());
        holder.setInitParameter("library", library.toString());
        holder.setInitOrder(0);  // start the gateway with the server, not on the first request
        context.addServlet(holder, SERVLET_PATH);
        server.setHandler(context);
        server.setStopAtShutdown(true);  // a stop signal ends the gateway through destroy
        server.start();
        System.out.println("listening on 127.0.0.1 port " + connector.getLocalPort());
        System.out.flush();
        server.join();
    }

    /** libqelwwwsl.so in the directory of this class's jar, or of its class tree. */
    static Path besideCode() throws URISyntaxException {
        Path code = Path.of(QelWWWJetty.class.getProtectionDomain().getCodeSource().getLocation().toURI());
        Path dir = Files.isDirectory(code) ? code : code.getParent();
        return dir.resolve(System.mapLibraryName("qelwwwsl")).toAbsolutePath();
    }
}

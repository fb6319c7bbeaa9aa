package com.kvr.ekvo.qk;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.concurrent.locks.ReentrantReadWriteLock;
import javax.servlet.ServletException;
import javax.servlet.http.HttpServlet;
import javax.servlet.http.HttpServletRequest;
import javax.servlet.http.HttpServletResponse;

/**
 * The gateway as a servlet. Init parameters: "configDir" (the directory of qelwww.ini,
 * required) and "library" (the absolute path of libqelwwwsl.so; without it the library must
 * already be loaded). A start-up that did not give 0 leaves the servlet refusing every
 * request with 503.
 */
public class QelWWWServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;

    /** The largest POST body taken; the CGI program has the same bound. */
    static final int MAX_BODY = 8 * 1024 * 1024;

    // The library keeps one state per process: start-up and shut-down must not overlap a
    // request, and only one servlet instance may own that state.
    private static final ReentrantReadWriteLock GATE = new ReentrantReadWriteLock();
    private static boolean owned = false;

    private transient QelWWWInterface gateway = null;
    private transient String refusal = "not started";

    @Override
    public void init() throws ServletException {
        String library = getInitParameter("library");
        String configDir = getInitParameter("configDir");
        GATE.writeLock().lock();
        try {
            refusal = start(library, configDir);
        } finally {
            GATE.writeLock().unlock();
        }
        if (refusal != null) {
            log("qelwww: requests refused: " + refusal);
        }
    }

    /** Null when ready, else why requests are refused. */
    private String start(String library, String configDir) {
        if (owned) {
            return "another servlet instance holds the gateway library";
        }
        if (configDir == null || configDir.isEmpty()) {
            return "init parameter configDir missing";
        }
        try {
            if (library != null) {
                if (!Path.of(library).isAbsolute()) {
                    return "library path is not absolute: " + library;
                }
                System.load(library);
            }
            QelWWWInterface candidate = new QelWWWInterface();
            int result = candidate.initialize(configDir);
            // Even a failed start-up leaves state behind that terminate clears.
            gateway = candidate;
            owned = true;
            return result == 0 ? null : "initialize returned " + result + " (" + startFailure(result) + ")";
        } catch (UnsatisfiedLinkError e) {
            return "gateway library not loaded: " + e.getMessage();
        }
    }

    static String startFailure(int result) {
        switch (result) {
            case 3: return "configuration failed";
            case 2: return "message catalogue failed";
            case 1: return "code pages or client start-up failed";
            default: return "unknown result";
        }
    }

    @Override
    public void destroy() {
        GATE.writeLock().lock();
        try {
            if (gateway != null) {
                gateway.terminate();
                gateway = null;
                owned = false;
            }
            refusal = "stopped";
        } finally {
            GATE.writeLock().unlock();
        }
    }

    @Override
    protected void doGet(HttpServletRequest request, HttpServletResponse response) throws IOException {
        String query = request.getQueryString();
        serve(query != null ? query : "", request, response);
    }

    @Override
    protected void doPost(HttpServletRequest request, HttpServletResponse response) throws IOException {
        if (request.getContentLengthLong() > MAX_BODY) {
            response.sendError(HttpServletResponse.SC_REQUEST_ENTITY_TOO_LARGE);
            return;
        }
        byte[] body;
        try (InputStream in = request.getInputStream()) {
            body = in.readNBytes(MAX_BODY + 1);
        }
        if (body.length > MAX_BODY) {
            response.sendError(HttpServletResponse.SC_REQUEST_ENTITY_TOO_LARGE);
            return;
        }
        // Every byte stands for itself: the gateway decodes the form text by its own rules.
        serve(new String(body, StandardCharsets.ISO_8859_1), request, response);
    }

    private void serve(String query, HttpServletRequest request, HttpServletResponse response) throws IOException {
        String[] variables = variables(request);
        ServletReply reply = new ServletReply();
        GATE.readLock().lock();
        try {
            if (refusal != null) {
                response.setStatus(HttpServletResponse.SC_SERVICE_UNAVAILABLE);
                response.setContentType("text/plain; charset=UTF-8");
                response.getOutputStream().write(
                        ("qelwww: gateway not available: " + refusal + "\n").getBytes(StandardCharsets.UTF_8));
                return;
            }
            gateway.serve(query, variables, reply);
        } catch (RuntimeException | OutOfMemoryError e) {
            log("qelwww: request failed", e);
            response.sendError(HttpServletResponse.SC_INTERNAL_SERVER_ERROR);
            return;
        } finally {
            GATE.readLock().unlock();
        }
        reply.send(response);
    }

    /**
     * What the gateway takes from the web server besides the request text, under the CGI
     * names; a header that was not sent is left out. The method, Origin and Host decide
     * whether a function that changes stored data may run; HTTPS=on marks the cookies Secure.
     */
    static String[] variables(HttpServletRequest request) {
        List<String> variables = new ArrayList<>();
        variables.add("SCRIPT_NAME=" + request.getContextPath() + request.getServletPath());
        variables.add("REQUEST_METHOD=" + request.getMethod());
        addHeader(variables, "HTTP_USER_AGENT", request.getHeader("User-Agent"));
        addHeader(variables, "HTTP_COOKIE", cookieHeader(request));
        addHeader(variables, "HTTP_ORIGIN", request.getHeader("Origin"));
        addHeader(variables, "HTTP_HOST", request.getHeader("Host"));
        if (request.isSecure()) {
            variables.add("HTTPS=on");
        }
        return variables.toArray(new String[0]);
    }

    private static void addHeader(List<String> variables, String name, String value) {
        if (value != null) {
            variables.add(name + "=" + value);
        }
    }

    /** The raw Cookie header; several of them joined as one; null when none was sent. */
    private static String cookieHeader(HttpServletRequest request) {
        Enumeration<String> values = request.getHeaders("Cookie");
        if (values == null || !values.hasMoreElements()) {
            return null;
        }
        StringBuilder joined = new StringBuilder(values.nextElement());
        while (values.hasMoreElements()) {
            joined.append("; ").append(values.nextElement());
        }
        return joined.toString();
    }
}

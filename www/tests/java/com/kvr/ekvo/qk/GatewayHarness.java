package com.kvr.ekvo.qk;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

/**
 * Drives libqelwwwsl.so through a real JVM. Scenarios: "startup" (initialize results and
 * terminate), "requests" (replies of single requests), "threads" (eight threads at once),
 * "journey CONFIGDIR STEPS OUTDIR" (the requests of STEPS, one query a line, each sending
 * the cookies the replies before set, over HTTPS when the line starts with "https "; each
 * reply written to OUTDIR/N.txt) and
 * "logons CONFIGDIR USERS ROUNDS" (one servlet thread per comma-separated user, all at
 * once, each logging on and off ROUNDS times and staying logged on after the last).
 * Properties: qel.library (the library), qel.stage (the build's install tree), qel.registry
 * (the registry directory the library reads). Exit status 0 when every check held.
 */
public final class GatewayHarness {
    private static int failures = 0;

    private static void check(boolean ok, String what) {
        if (!ok) {
            failures++;
            System.err.println("FAIL: " + what);
        }
    }

    private static void checkEquals(Object expected, Object actual, String what) {
        check(expected.equals(actual), what + "\n  expected: [" + expected + "]\n  actual:   [" + actual + "]");
    }

    /** A configuration directory: qelwww.ini with cache/ and templates/. */
    static Path configDir(String extraIni) throws IOException {
        Path dir = Files.createTempDirectory("qelwww-jvm");
        Files.createDirectories(dir.resolve("cache"));
        Files.createDirectories(dir.resolve("templates"));
        Files.writeString(dir.resolve("templates/page.html"),
                "<html><body>\n<!-- VOD# Marker -->\n</body></html>\n");
        Files.writeString(dir.resolve("qelwww.ini"),
                "[configuration]\nCacheDir=cache\nTemplateDir=templates\n" + extraIni);
        return dir;
    }

    /** Points the registry's install path at a directory (null: no value). */
    static void setInstallPath(String path) throws IOException {
        Path hive = Path.of(System.getProperty("qel.registry"), "HKLM.ini");
        Files.createDirectories(hive.getParent());
        String text = path == null ? "" : "[Software\\Kvr\\Tidewell Webrika\\CurrentVersion]\nInstallPath=" + path + "\n";
        Files.writeString(hive, text);
    }

    static RecordingResponse request(QelWWWInterface gateway, String query, String cookie, String agent) {
        RecordingResponse response = new RecordingResponse();
        gateway.main(query, "/servlet/qel", agent, cookie, false, response);
        return response;
    }

    static void startup() throws IOException {
        QelWWWInterface gateway = new QelWWWInterface();
        setInstallPath(null);
        checkEquals(3, gateway.initialize("/nonexistent/qelwww"), "initialize without qelwww.ini");
        checkEquals(0, gateway.terminate(), "terminate after a failed initialize");

        checkEquals(3, gateway.initialize(configDir("Codepage=utf8\n").toString()), "Codepage that is not a number");
        checkEquals(2, gateway.initialize(configDir("Language=xyz\n").toString()), "language without a message library");

        // An install tree whose locale has the message library but no code-page tables.
        Path install = Files.createTempDirectory("qelwww-install");
        Path stage = Path.of(System.getProperty("qel.stage"));
        Files.createDirectories(install.resolve("locale/enu"));
        Files.createSymbolicLink(install.resolve("locale/enu/libqellgs32.so"),
                stage.resolve("locale/enu/libqellgs32.so"));
        setInstallPath(install.toString());
        checkEquals(1, gateway.initialize(configDir("").toString()), "code pages missing");

        setInstallPath(null);
        checkEquals(0, gateway.initialize(configDir("").toString()), "initialize ready");
        checkEquals(0, gateway.terminate(), "terminate");
        checkEquals(0, gateway.terminate(), "terminate twice");
    }

    static final class Case {
        final String name;
        final String query;
        final String cookie;
        final String expectedHeaders;
        final String expectedBody;   // exact, or null
        final String[] contains;

        Case(String name, String query, String cookie, String expectedHeaders, String expectedBody, String... contains) {
            this.name = name;
            this.query = query;
            this.cookie = cookie;
            this.expectedHeaders = expectedHeaders;
            this.expectedBody = expectedBody;
            this.contains = contains;
        }
    }

    static final String HTML = "Content-type: text/html; charset=UTF-8";
    static final String PLAIN = "Content-type: text/plain; charset=UTF-8";

    static final Case[] CASES = {
        new Case("no _function: only the 491 reply", "_s=prod&_u=a&_p=b", null, HTML, null,
                "<h3>Netvara Version 2.2.1.10.</h3>", "<h4>The argument &#39;_function&#39; was not specified</h4>"),
        new Case("no _function, no html", "_nohtml=1&_s=prod&_u=a&_p=b", null, PLAIN,
                "[ERROR]\nID=2171\nMSG=The argument '_function' was not specified\n"),
        new Case("unknown keyword", "_nohtml=1&_a=zzz&_s=prod&_u=a&_p=b", null, PLAIN,
                "[ERROR]\nID=2175\nMSG=The function 'zzz' was not found\n"),
        new Case("Logoff is not logoff", "_nohtml=1&_a=Logoff&_s=prod&_u=a&_p=b", null, PLAIN,
                "[ERROR]\nID=2175\nMSG=The function 'Logoff' was not found\n"),
        new Case("hit list without folder", "_nohtml=1&_a=d&_s=prod&_u=a&_p=b", null, PLAIN,
                "[ERROR]\nID=2171\nMSG=The argument '_folder' was not specified\n"),
        new Case("cookie-only request with the password in clear: no logon", "_nohtml=1&_a=d", "ZEIQS=_s=prod&_u=a&_p=b", PLAIN,
                "[ERROR]\nID=2171\nMSG=The argument '_password' was not specified\n"),
        new Case("template frame", "_a=zzz&_s=prod&_u=a&_p=b&_h=page.html", null, HTML, null,
                "<html><body>\n\n\n", "was not found</h4>", "</body></html>\n\n"),
        new Case("template outside TemplateDir", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_h=../qelwww.ini", null, PLAIN,
                "[ERROR]\nID=2159\nMSG=The argument '_html' is not a valid decimal number\n"),
        new Case("reflected markup is text", "_function=%22%3E%3Cscript%3E&_folder=%22%3E%3Cscript%3E&_s=prod&_u=a&_p=b",
                null, HTML, null, "The function &#39;&quot;&gt;&lt;script&gt;&#39; was not found"),
        new Case("non-ASCII keyword", "_nohtml=1&_a=caf%C3%A9&_s=prod&_u=a&_p=b", null, PLAIN,
                "[ERROR]\nID=2175\nMSG=The function 'caf\u00e9' was not found\n"),
        new Case("a surrogate pair changes only its own value", "_nohtml=1&_a=zzz&_x=a\uD83D\uDE00b&_s=prod&_u=a&_p=b",
                null, PLAIN, "[ERROR]\nID=2175\nMSG=The function 'zzz' was not found\n"),
        new Case("a NUL refuses its parameter", "_nohtml=1&_a=l&_s=prod&_u=a\u0000x&_p=b", null, PLAIN,
                "[ERROR]\nID=2159\nMSG=The argument '_u' is not a valid decimal number\n"),
        new Case("an encoded NUL likewise", "_nohtml=1&_a=l&_s=prod&_u=a%00x&_p=b", null, PLAIN,
                "[ERROR]\nID=2159\nMSG=The argument '_u' is not a valid decimal number\n"),
    };

    static void requests() throws IOException {
        QelWWWInterface gateway = new QelWWWInterface();
        setInstallPath(null);
        checkEquals(0, gateway.initialize(configDir("Codepage=1208\n").toString()), "initialize");
        for (Case c : CASES) {
            RecordingResponse r = request(gateway, c.query, c.cookie, "Mozilla/5.0 (X11; Linux)");
            checkEquals(List.of(c.expectedHeaders), r.headers, c.name + ": headers");
            checkEquals(1, r.data.size(), c.name + ": one setData call");
            if (c.expectedBody != null) {
                checkEquals(c.expectedBody, r.body(), c.name + ": body");
            }
            for (String part : c.contains) {
                check(r.body().contains(part), c.name + ": body lacks [" + part + "] in\n" + r.body());
            }
            check(!r.body().contains("<script>"), c.name + ": markup from the request reached the page");
        }

        stateChanges(gateway);

        // Null Java strings are absent values: no script name, so message 495.
        RecordingResponse nulls = new RecordingResponse();
        gateway.main(null, null, null, null, false, nulls);
        check(nulls.body().contains("The value &#39;SCRIPT_NAME&#39; was not specified by the web server"),
                "null strings: " + nulls.body());

        // A callback that throws stops the reply; the exception reaches the caller.
        RecordingResponse throwing = new RecordingResponse();
        throwing.throwAtHeader = 0;
        try {
            gateway.main("_a=x", "/s", null, null, false, throwing);
            check(false, "exception from setHttpHeader was lost");
        } catch (IllegalStateException expected) {
            checkEquals(0, throwing.data.size(), "no setData after a failed setHttpHeader");
        }

        // A response object without the callbacks.
        try {
            gateway.main("_a=x", "/s", null, null, false, new Object());
            check(false, "missing callbacks went unnoticed");
        } catch (NoSuchMethodError expected) {
            // the lookup failed cleanly
        }
        try {
            gateway.main("_a=x", "/s", null, null, false, null);
            check(false, "null response went unnoticed");
        } catch (NullPointerException expected) {
            // refused
        }
        checkEquals(0, gateway.terminate(), "terminate");
    }

    static String refused(String function) {
        return "[ERROR]\nID=2339\nMSG=The function '" + function
                + "' changes stored data: it is accepted only from a form (POST) of this site\n";
    }

    static RecordingResponse serve(QelWWWInterface gateway, String query, String... variables) {
        RecordingResponse response = new RecordingResponse();
        gateway.serve(query, variables, response);
        return response;
    }

    /**
     * The functions that change stored data run only for a POST of the site's own form:
     * serve passes the method and headers on, main tells no method.
     */
    static void stateChanges(QelWWWInterface gateway) {
        String logon = "&_nohtml=1&_s=prod&_u=a&_p=b";
        String script = "SCRIPT_NAME=/qelwww/servlet";
        String host = "HTTP_HOST=archive.test:8080";
        String post = "REQUEST_METHOD=POST";
        // (name, function refused or null when it runs, query, variables)
        Object[][] cases = {
            {"GET", "chgpassword", "_a=c&_np=x" + logon, new String[] {script, "REQUEST_METHOD=GET", host}},
            {"HEAD", "addnote", "_a=a&_f=F&_d=1&_perm=0&_text=X" + logon,
                new String[] {script, "REQUEST_METHOD=HEAD", host}},
            {"POST from another site", "updatedoc", "_a=updatedoc&_f=F&_d=1&Title=x" + logon,
                new String[] {script, post, host, "HTTP_ORIGIN=http://evil.example"}},
            {"POST from a sandboxed frame", "printdocs", "_a=p&_f=F&_sp=P&_ids=1" + logon,
                new String[] {script, post, host, "HTTP_ORIGIN=null"}},
            {"POST with an empty Origin", "addnote", "_a=addnote&_f=F&_d=1&_perm=0&_text=X" + logon,
                new String[] {script, post, host, "HTTP_ORIGIN="}},
            {"logon with a new password, no method", "logon", "_a=l&_np=x" + logon, new String[] {script, host}},
            {"a method in lower case is no name of ours", "chgpassword", "_a=c&_np=x" + logon,
                new String[] {script, "request_method=POST", host}},
            {"entries without '=' and null entries are passed over", "chgpassword", "_a=c&_np=x" + logon,
                new String[] {script, "REQUEST_METHOD", null, host}},
            {"the first entry of a name counts", "chgpassword", "_a=c&_np=x" + logon,
                new String[] {script, "REQUEST_METHOD=GET", post, host}},
            {"POST from the own host", null, "_a=c&_np=x" + logon,
                new String[] {script, post, host, "HTTP_ORIGIN=http://ARCHIVE.test:8080/"}},
            {"POST without Origin", null, "_a=c&_np=x" + logon, new String[] {script, post, host}},
            {"GET of a function that reads", null, "_a=d&_f=F" + logon, new String[] {script, "REQUEST_METHOD=GET"}},
        };
        for (Object[] c : cases) {
            String name = (String) c[0];
            String function = (String) c[1];
            RecordingResponse r = serve(gateway, (String) c[2], (String[]) c[3]);
            checkEquals(List.of(PLAIN), r.headers, name + ": headers");
            if (function != null) {
                checkEquals(refused(function), r.body(), name);
            } else {
                check(r.body().startsWith("[ERROR]\nID=") && !r.body().contains("ID=2339"),
                        name + ": the function did not run: " + r.body());
            }
        }
        // main knows no method; the refusal comes in the form asked for.
        checkEquals(refused("chgpassword"), request(gateway, "_a=c&_np=x" + logon, null, "Mozilla/5.0").body(),
                "main, plain text");
        RecordingResponse page = request(gateway, "_a=addnote&_f=F&_d=1&_perm=0&_text=X&_s=prod&_u=a&_p=b", null,
                "Mozilla/5.0");
        checkEquals(List.of(HTML), page.headers, "main, HTML: headers");
        check(page.body().contains("<h4>The function &#39;addnote&#39; changes stored data"), "main, HTML: " + page.body());
        // No variables at all: no script name either, so message 495 before any action.
        check(serve(gateway, "_a=c&_np=x" + logon, (String[]) null).body().contains("SCRIPT_NAME"),
                "null variables");
    }

    static void threads() throws Exception {
        QelWWWInterface gateway = new QelWWWInterface();
        setInstallPath(null);
        checkEquals(0, gateway.initialize(configDir("[debug]\nLog=1\nLogDir=cache\n").toString()), "initialize");
        List<String> expected = new ArrayList<>();
        for (Case c : CASES) {
            expected.add(request(gateway, c.query, c.cookie, "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT)").transcript());
        }
        ExecutorService pool = Executors.newFixedThreadPool(8);
        List<Future<Integer>> results = new ArrayList<>();
        for (int t = 0; t < 8; t++) {
            final int offset = t;
            results.add(pool.submit(() -> {
                int mismatches = 0;
                for (int i = 0; i < 200; i++) {
                    int k = (i + offset) % CASES.length;
                    Case c = CASES[k];
                    String got = request(gateway, c.query, c.cookie,
                            "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT)").transcript();
                    if (!got.equals(expected.get(k))) {
                        mismatches++;
                    }
                }
                return mismatches;
            }));
        }
        int mismatches = 0;
        for (Future<Integer> f : results) {
            mismatches += f.get();
        }
        pool.shutdown();
        checkEquals(0, mismatches, "replies from eight threads equal the single-thread replies");
        checkEquals(0, gateway.terminate(), "terminate");
    }

    /** The cookies a browser keeps: the last value of each name, cleared ones as empty. */
    static final class CookieStore {
        private final java.util.LinkedHashMap<String, String> cookies = new java.util.LinkedHashMap<>();

        void take(RecordingResponse response) {
            for (String header : response.headers) {
                if (!header.regionMatches(true, 0, "Set-Cookie: ", 0, 12)) {
                    continue;
                }
                String pair = header.substring(12);
                int semicolon = pair.indexOf(';');
                if (semicolon >= 0) {
                    pair = pair.substring(0, semicolon);
                }
                int equals = pair.indexOf('=');
                cookies.put(pair.substring(0, equals), pair.substring(equals + 1));
            }
        }

        String header() {
            if (cookies.isEmpty()) {
                return null;
            }
            StringBuilder out = new StringBuilder();
            for (java.util.Map.Entry<String, String> e : cookies.entrySet()) {
                if (out.length() > 0) {
                    out.append("; ");
                }
                out.append(e.getKey()).append('=').append(e.getValue());
            }
            return out.toString();
        }
    }

    /**
     * A form of the site posted by the journeys' browser (no Origin header, as it sends);
     * secure: over HTTPS.
     */
    static RecordingResponse browse(QelWWWInterface gateway, CookieStore store, String query, boolean secure) {
        RecordingResponse response = new RecordingResponse();
        List<String> variables = new ArrayList<>(List.of("SCRIPT_NAME=/cgi-bin/qelwww", "REQUEST_METHOD=POST",
                "HTTP_USER_AGENT=Mozilla/5.0 (X11; Linux x86_64)"));
        if (store.header() != null) {
            variables.add("HTTP_COOKIE=" + store.header());
        }
        if (secure) {
            variables.add("HTTPS=on");
        }
        gateway.serve(query, variables.toArray(new String[0]), response);
        store.take(response);
        return response;
    }

    static final String HTTPS_STEP = "https ";

    static void journey(String configDir, String steps, String outDir) throws IOException {
        QelWWWInterface gateway = new QelWWWInterface();
        checkEquals(0, gateway.initialize(configDir), "initialize");
        CookieStore store = new CookieStore();
        int step = 0;
        for (String query : Files.readAllLines(Path.of(steps), StandardCharsets.UTF_8)) {
            if (query.isEmpty()) {
                continue;
            }
            // "https " before a query: the request came over HTTPS (isSecure).
            boolean secure = query.startsWith(HTTPS_STEP);
            RecordingResponse r = browse(gateway, store, secure ? query.substring(HTTPS_STEP.length()) : query, secure);
            check(r.data.size() <= 1, "step " + step + ": one setData call at most");
            java.io.ByteArrayOutputStream out = new java.io.ByteArrayOutputStream();
            for (String h : r.headers) {
                String lower = h.toLowerCase(java.util.Locale.ROOT);
                if (lower.startsWith("content-type: ") || lower.startsWith("set-cookie: ")) {
                    out.write((lower.substring(0, lower.indexOf(':')) + h.substring(h.indexOf(':')) + "\n")
                            .getBytes(StandardCharsets.UTF_8));
                }
            }
            out.write("--\n".getBytes(StandardCharsets.UTF_8));
            if (!r.data.isEmpty()) {
                out.write(r.data.get(0));
            }
            Files.write(Path.of(outDir, step + ".txt"), out.toByteArray());
            step++;
        }
        checkEquals(0, gateway.terminate(), "terminate");
    }

    static void logons(String configDir, String users, int rounds) throws Exception {
        QelWWWInterface gateway = new QelWWWInterface();
        checkEquals(0, gateway.initialize(configDir), "initialize");
        String[] names = users.split(",");
        String folders = "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n";
        String loggedOff = "[BEGIN]\nUser logged off!\n[END]\n";
        java.util.concurrent.CyclicBarrier together = new java.util.concurrent.CyclicBarrier(names.length);
        ExecutorService pool = Executors.newFixedThreadPool(names.length);
        List<Future<List<String>>> results = new ArrayList<>();
        for (String name : names) {
            results.add(pool.submit(() -> {
                List<String> problems = new ArrayList<>();
                CookieStore store = new CookieStore();
                for (int round = 0; round < rounds; round++) {
                    together.await();
                    String logon = browse(gateway, store, "_a=l&_nohtml=1&_s=DEMO&_u=" + name + "&_p=wonder1", false).body();
                    if (!logon.equals(folders)) {
                        problems.add(name + " round " + round + " logon: " + logon);
                    }
                    if (round == rounds - 1) {
                        break;
                    }
                    together.await();
                    String logoff = browse(gateway, store, "_a=f&_nohtml=1", false).body();
                    if (!logoff.equals(loggedOff)) {
                        problems.add(name + " round " + round + " logoff: " + logoff);
                    }
                }
                return problems;
            }));
        }
        for (Future<List<String>> f : results) {
            for (String problem : f.get()) {
                check(false, problem);
            }
        }
        pool.shutdown();
        checkEquals(0, gateway.terminate(), "terminate");
    }

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("qel.library"));
        switch (args[0]) {
            case "startup": startup(); break;
            case "requests": requests(); break;
            case "threads": threads(); break;
            case "journey": journey(args[1], args[2], args[3]); break;
            case "logons": logons(args[1], args[2], Integer.parseInt(args[3])); break;
            default: throw new IllegalArgumentException(args[0]);
        }
        if (failures > 0) {
            System.err.println(failures + " check(s) failed");
            System.exit(1);
        }
        System.out.println("all checks held");
    }
}

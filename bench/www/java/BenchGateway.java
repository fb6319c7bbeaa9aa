/** The shape of the gateway's request native, bound to a no-op for comparison. */
public class BenchGateway {
    public native void main(String query, String scriptName, String userAgent, String cookie, Object response);

    /** Loads a library for the application's class loader (not from a native frame). */
    public static void load(String path) {
        System.load(path);
    }
}

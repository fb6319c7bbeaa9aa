/** A response object that only counts the callbacks. */
public class BenchResponse {
    public long headers;
    public long bytes;

    public void setHttpHeader(String name, String value) {
        headers++;
    }

    public void setData(byte[] data) {
        bytes += data.length;
    }
}

package com.kvr.ekvo.qk;

import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import javax.servlet.http.HttpServletResponse;

/**
 * The response object the gateway library writes one reply into: the header pairs in their
 * order, then the body in one piece. Nothing reaches the client until the library is done,
 * so a request that fails inside the library can still get a clean error.
 */
public final class ServletReply {
    private final List<String[]> headers = new ArrayList<>();
    private byte[] body = new byte[0];

    /** Called by the library once per header pair. */
    public void setHttpHeader(String name, String value) {
        headers.add(new String[] {name, value});
    }

    /** Called by the library once, only when the body is not empty. */
    public void setData(byte[] data) {
        body = data;
    }

    /** Sends the recorded reply. The length comes from the body actually sent. */
    void send(HttpServletResponse response) throws IOException {
        for (String[] header : headers) {
            String name = header[0];
            if (name.equalsIgnoreCase("Content-length")) {
                continue;
            }
            if (name.equalsIgnoreCase("Content-type")) {
                response.setContentType(header[1]);
            } else {
                response.addHeader(name, header[1]);
            }
        }
        response.setContentLength(body.length);
        response.getOutputStream().write(body);
    }
}

package com.kvr.ekvo.qk;

import java.util.ArrayList;
import java.util.List;

/** A response object that records the gateway's callbacks in order. */
public class RecordingResponse {
    public final List<String> headers = new ArrayList<>();
    public final List<byte[]> data = new ArrayList<>();
    /** When not negative, the header call with this index throws. */
    public int throwAtHeader = -1;

    public void setHttpHeader(String name, String value) {
        if (headers.size() == throwAtHeader) {
            throw new IllegalStateException("client went away");
        }
        headers.add(name + ": " + value);
    }

    public void setData(byte[] bytes) {
        data.add(bytes);
    }

    /** Headers and bodies as one text, to compare replies. */
    public String transcript() {
        StringBuilder out = new StringBuilder();
        for (String h : headers) {
            out.append(h).append('\n');
        }
        for (byte[] d : data) {
            out.append("--\n").append(new String(d, java.nio.charset.StandardCharsets.UTF_8));
        }
        return out.toString();
    }

    public String body() {
        return data.isEmpty() ? "" : new String(data.get(0), java.nio.charset.StandardCharsets.UTF_8);
    }
}

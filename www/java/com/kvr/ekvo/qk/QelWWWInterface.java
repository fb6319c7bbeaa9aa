package com.kvr.ekvo.qk;

/** The servlet's view of the gateway library: three natives. */
public class QelWWWInterface {
    /** 0 ready; 3 configuration, 2 message catalogue, 1 code pages failed. */
    public native int initialize(String configDir);

    /**
     * One request; the reply arrives through setHttpHeader and setData of response. secure:
     * the request came over HTTPS, so its cookies are set for HTTPS only.
     */
    public native void main(String query, String scriptName, String userAgent, String cookie, boolean secure,
            Object response);

    /** Always 0. */
    public native int terminate();
}

package com.kvr.ekvo.qk;

/** The servlet's view of the gateway library. */
public class QelWWWInterface {
    /** 0 ready; 3 configuration, 2 message catalogue, 1 code pages failed. */
    public native int initialize(String configDir);

    /**
     * One request without its method: the functions that change stored data are refused.
     * The reply arrives through setHttpHeader and setData of response. secure: the request
     * came over HTTPS, so its cookies are set for HTTPS only.
     */
    public native void main(String query, String scriptName, String userAgent, String cookie, boolean secure,
            Object response);

    /**
     * One request with what the front end knows of it, as "NAME=value" strings of the CGI
     * variables SCRIPT_NAME, HTTP_USER_AGENT, HTTP_COOKIE, REQUEST_METHOD, HTTP_ORIGIN,
     * HTTP_HOST and HTTPS ("on" over HTTPS); a variable not given is absent. The reply arrives
     * as with main.
     */
    public native void serve(String query, String[] variables, Object response);

    /** Always 0. */
    public native int terminate();
}

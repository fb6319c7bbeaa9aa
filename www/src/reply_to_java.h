// Internal: handing a finished reply to the servlet's response object.
#pragma once

#include <jni.h>

#include "qel_www.h"

// Calls a void Java method with a variable argument list.
void CallJavaVoidMethod(JNIEnv* env, jobject object, jmethodID method, ...);

namespace qelwww::detail {

// Throws a new exception of the class unless one is pending already.
void ThrowJava(JNIEnv* env, const char* className, const char* message);
// Each header through setHeader(name, value) in order, then the whole body through
// setData(byte[]) when it is not empty. A Java exception stops the reply and stays pending.
void SendReply(JNIEnv* env, jobject target, jmethodID setHeader, jmethodID setData,
               const QelWWWResponse& response);

}  // namespace qelwww::detail

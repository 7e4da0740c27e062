#include "mqtt/ResultTexts.h"

#include <mosquitto.h>

namespace vuvedid {

namespace {

const char kNoMem[] = "An out of memory condition occurred";
const char kInval[] = "The input parameters is invalid";
const char kNoConn[] = "The client isn't connected to a broker";

const char* text(MosqCall call, int rc) {
  switch (call) {
    case MosqCall::WillSet:
      if (rc == MOSQ_ERR_NOMEM) return kNoMem;
      if (rc == MOSQ_ERR_INVAL) return kInval;
      if (rc == MOSQ_ERR_PAYLOAD_SIZE) return "Payloadlen is too large";
      break;
    case MosqCall::UsernamePwSet:
      if (rc == MOSQ_ERR_NOMEM) return kNoMem;
      if (rc == MOSQ_ERR_INVAL) return kInval;
      break;
    case MosqCall::Connect:
      if (rc == MOSQ_ERR_INVAL) return kInval;
      if (rc == MOSQ_ERR_ERRNO) return "Connection error";
      break;
    case MosqCall::LoopStart:
      if (rc == MOSQ_ERR_INVAL) return kInval;
      if (rc == MOSQ_ERR_NOT_SUPPORTED) return "Thread support is not available";
      break;
    case MosqCall::Subscribe:
      if (rc == MOSQ_ERR_NOMEM) return kNoMem;
      if (rc == MOSQ_ERR_INVAL) return kInval;
      if (rc == MOSQ_ERR_NO_CONN) return kNoConn;
      break;
    case MosqCall::Publish:
      if (rc == MOSQ_ERR_NOMEM) return kNoMem;
      if (rc == MOSQ_ERR_PROTOCOL) return "There is a protocol error communicating with the broker";
      if (rc == MOSQ_ERR_INVAL) return kInval;
      if (rc == MOSQ_ERR_NO_CONN) return kNoConn;
      if (rc == MOSQ_ERR_PAYLOAD_SIZE) return "The payloadlen is too large";
      break;
  }
  return "Unknown error";
}

}  // namespace

QString resultText(MosqCall call, int rc) { return QString::fromLatin1(text(call, rc)); }

}  // namespace vuvedid

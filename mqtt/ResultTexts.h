#pragma once
// The English texts shown after a failed libmosquitto call. Each call has its own table;
// a code not in a call's table reads "Unknown error".
#include <QString>

namespace vuvedid {

enum class MosqCall { WillSet, UsernamePwSet, Connect, LoopStart, Subscribe, Publish };

QString resultText(MosqCall call, int rc);

}  // namespace vuvedid

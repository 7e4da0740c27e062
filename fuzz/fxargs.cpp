// The "fx:" argument cut into a volume text and a file name, for any text: the parts are
// pieces of the text, the file name is what follows the first "!", and a plain
// "volume!file" gives the volume back whole.
#include <QString>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "app/IntConvert.h"
#include "audio/EffectChannels.h"

namespace {

void check(const QString& fx) {
  const vuvedid::FxArguments a = vuvedid::sliceFx(fx);
  const qsizetype bang = fx.indexOf(u'!');
  const qsizetype colon = fx.indexOf(u':');
  FUZZ_CHECK(fx.contains(a.volumeText));
  FUZZ_CHECK(fx.endsWith(a.fileName));
  if (bang < 0) {
    FUZZ_CHECK(a.volumeText.isEmpty());
    FUZZ_CHECK(a.fileName == fx);
    return;
  }
  FUZZ_CHECK(a.fileName == fx.mid(bang + 1));
  if (colon < 0) FUZZ_CHECK(a.volumeText == fx.left(bang));
  // A ":" before the "!" keeps the "!" in the volume, which then never converts.
  if (colon >= 0 && colon < bang) {
    FUZZ_CHECK(a.volumeText.contains(u'!'));
    FUZZ_CHECK(!vuvedid::tryStrToInt(a.volumeText));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
  if (size >= 2) std::memcpy(units.data(), data, (size / 2) * 2);
  check(units);
  return 0;
}

// The data-file loader, text in. A refused file changes nothing in memory; an accepted one
// becomes a codeplug that agrees with itself and that Save writes into a file the loader
// accepts again, giving back the saved image.
#include <string_view>

#include "fuzz/fuzz_support.h"

using namespace pw;
using namespace pw::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Codeplug cp = StartingCodeplug();
  const CodeplugState before = CodeplugState::Of(cp);

  const LoadedFile file = LoadDataFile(text);
  AcceptLoadedFile(cp, file);
  if (!file.ok) {
    PW_PROPERTY(CodeplugState::Of(cp) == before);
    PW_PROPERTY(!file.message.text.empty());
    return 0;
  }
  PW_PROPERTY(ParseDataFile(text).has_value());
  CheckCodeplugAgrees(cp);
  CheckSavesAndLoadsAgain(cp);
  return 0;
}

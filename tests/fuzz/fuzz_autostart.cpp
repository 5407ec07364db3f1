// The autostart entry: a file of any bytes is read or refused, and the
// command of a written entry, program path and arguments, reads back as it
// was written.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "platform/Autostart.h"

namespace {

void checkReadsBack(const QStringList& command) {
  require(splitExecLine(execLine(command)) == command, "an Exec line splits into its command");
  const std::optional<AutostartEntry> entry = parseDesktopEntry(desktopEntryText(command));
  require(entry && entry->command == command, "a written entry reads back to its command");
  require(entry->active, "a written entry is active");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  QStringList command{QString::fromStdString(provider.ConsumeRandomLengthString(256))};
  const int arguments = provider.ConsumeIntegralInRange(0, 3);
  for (int n = 0; n < arguments; ++n)
    command += QString::fromStdString(provider.ConsumeRandomLengthString(64));
  checkReadsBack(command);

  const std::string rest = provider.ConsumeRemainingBytesAsString();
  const std::optional<AutostartEntry> read =
      parseDesktopEntry(QByteArray(rest.data(), qsizetype(rest.size())));
  if (read) {
    require(!read->command.isEmpty(), "a read entry has a program");
    checkReadsBack(read->command);
  }
  return 0;
}

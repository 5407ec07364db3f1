// The value store's file of any bytes, and values of any text: what is read
// and written reads back as the same values, with no line unreadable.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "platform/ValueStore.h"

namespace {

QString described(const QList<ValueStore::Key>& keys) {
  QString text;
  for (const ValueStore::Key& key : keys) {
    text += u'[' + key.path + QStringLiteral("]\n");
    for (const ValueStore::Entry& entry : key.entries)
      text += entry.name + u'=' + QString::number(int(entry.value.kind)) + u':' +
              QString::number(entry.value.integer) + u':' + entry.value.text + u'\n';
  }
  return text;
}

void checkRoundTrip(const QList<ValueStore::Key>& keys) {
  const QByteArray written = ValueStore::serialize(keys);
  const ValueStore::Parsed again = ValueStore::parse(written);
  require(again.unreadableLines.isEmpty(), "a written file has no unreadable line");
  require(described(again.keys) == described(keys), "written values read back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const QString name = QString::fromStdString(provider.ConsumeRandomLengthString(64));
  const QString text = QString::fromStdString(provider.ConsumeRandomLengthString(256));
  const int32_t integer = provider.ConsumeIntegral<int32_t>();
  const std::string rest = provider.ConsumeRemainingBytesAsString();

  checkRoundTrip(ValueStore::parse(QByteArray(rest.data(), qsizetype(rest.size()))).keys);
  ValueStore::Value textValue;
  textValue.text = text;
  ValueStore::Value integerValue;
  integerValue.kind = ValueStore::Kind::Integer;
  integerValue.integer = integer;
  // As the store keeps them: one entry a name, whatever its case.
  QList<ValueStore::Entry> entries{{name, textValue}};
  if (name.compare(text, Qt::CaseInsensitive) != 0) entries.append({text, integerValue});
  checkRoundTrip({ValueStore::Key{QStringLiteral("Software\\Nimbra-Wallpaper"), entries}});
  return 0;
}

#include "library/Settings.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include "platform/AtomicFile.h"
#include "platform/Autostart.h"
#include "platform/ValueStore.h"

namespace {
const QString kCurrent = QStringLiteral("current");
const QString kLastTime = QStringLiteral("Lasttime");
const QString kAutoChange = QStringLiteral("AutoChange");
// Used only when a locale's own formats do not read back what they wrote.
const QString kPortableDateTime = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kPortableDate = QStringLiteral("yyyy-MM-dd");

// A piece of a locale format: a run of one pattern letter, or literal text
// (quoted literals are kept with their quotes).
struct FormatPiece {
  QString text;
  bool field = false;
};

bool isAmPmField(QStringView text) {
  return text.compare(QLatin1String("ap"), Qt::CaseInsensitive) == 0 || text == u"a" || text == u"A";
}

QList<FormatPiece> splitFormat(const QString& format) {
  QList<FormatPiece> pieces;
  for (qsizetype i = 0; i < format.size();) {
    const QChar c = format[i];
    qsizetype end = i + 1;
    if (c == u'\'') {
      end = format.indexOf(u'\'', i + 1);
      end = end < 0 ? format.size() : end + 1;
    } else if (isAmPmField(QStringView(format).mid(i, 2))) {
      end = i + 2;
    } else if (c.isLetter() && c.unicode() < 128) {
      while (end < format.size() && format[end] == c) ++end;
    }
    const bool field = c.isLetter() && c.unicode() < 128;
    const bool joinsLiteral = !field && c != u'\'' && !pieces.isEmpty() && !pieces.last().field &&
                              !pieces.last().text.startsWith(u'\'');
    if (joinsLiteral)
      pieces.last().text += format.mid(i, end - i);
    else
      pieces.append({format.mid(i, end - i), field});
    i = end;
  }
  return pieces;
}

bool isGapChar(QChar c) { return c.isSpace() || QStringLiteral("()[],\u060C").contains(c); }

// Drops a field with the blanks and brackets around it.
void dropField(QList<FormatPiece>& pieces, qsizetype index) {
  pieces.removeAt(index);
  bool hadGap = false;
  if (index > 0 && !pieces[index - 1].field && !pieces[index - 1].text.startsWith(u'\'')) {
    QString& left = pieces[index - 1].text;
    while (!left.isEmpty() && isGapChar(left.back())) {
      left.chop(1);
      hadGap = true;
    }
  }
  if (index < pieces.size() && !pieces[index].field && !pieces[index].text.startsWith(u'\'')) {
    QString& right = pieces[index].text;
    while (!right.isEmpty() && isGapChar(right.front())) {
      right.remove(0, 1);
      hadGap = true;
    }
  }
  const bool between = index > 0 && index < pieces.size();
  if (between && hadGap) pieces.insert(index, {QStringLiteral(" "), false});
}

enum class HourClock { AsTheLocale, TwentyFourHours };

// Qt 6.4 reads past the end of its text when it parses the am/pm marker of
// a locale whose two markers differ in length; such locales are stored with
// a 24-hour clock instead.
HourClock storageClock(const QLocale& locale) {
  return locale.amText().size() == locale.pmText().size() ? HourClock::AsTheLocale
                                                          : HourClock::TwentyFourHours;
}

// The locale's format as the store uses it: four-digit years, because Qt
// reads a two-digit year back in the 1900s; no time zone, because stored
// times are local and zone names do not read back reliably.
QString storageFormat(const QString& localeFormat, HourClock clock) {
  QList<FormatPiece> pieces = splitFormat(localeFormat);
  for (qsizetype i = pieces.size() - 1; i >= 0; --i) {
    if (!pieces[i].field) continue;
    QString& text = pieces[i].text;
    const bool twentyFour = clock == HourClock::TwentyFourHours;
    if (text == QLatin1String("yy"))
      text = QStringLiteral("yyyy");
    else if (text.front() == u't' || (twentyFour && isAmPmField(text)))
      dropField(pieces, i);
    else if (twentyFour && text.front() == u'h')
      text.fill(u'H');
  }
  QString format;
  for (const FormatPiece& piece : pieces) format += piece.text;
  return format.trimmed();
}

QString dateFormat(const QLocale& locale) {
  return storageFormat(locale.dateFormat(QLocale::ShortFormat), HourClock::AsTheLocale);
}
QString dateTimeFormat(const QLocale& locale) {
  return dateFormat(locale) + u' ' +
         storageFormat(locale.timeFormat(QLocale::LongFormat), storageClock(locale));
}

bool isMidnight(const QDateTime& time) { return time.time() == QTime(0, 0); }

QString localeText(const QDateTime& time, const QLocale& locale) {
  return isMidnight(time) ? locale.toString(time.date(), dateFormat(locale))
                          : locale.toString(time, dateTimeFormat(locale));
}

bool sameToTheSecond(const QDateTime& a, const QDateTime& b) {
  return a.isValid() && b.isValid() && a.date() == b.date() && a.time().hour() == b.time().hour() &&
         a.time().minute() == b.time().minute() && a.time().second() == b.time().second();
}

QDateTime parseWith(const QString& text, const QLocale& locale) {
  QDateTime time = locale.toDateTime(text, dateTimeFormat(locale));
  if (time.isValid()) return time;
  const QDate date = locale.toDate(text, dateFormat(locale));
  return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
}

QDateTime parsePortable(const QString& text) {
  QDateTime time = QDateTime::fromString(text, kPortableDateTime);
  if (time.isValid()) return time;
  const QDate date = QDate::fromString(text, kPortableDate);
  return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
}

std::optional<ValueStore::Value> storedValue(const ValueStore& store, const QString& name) {
  return store.value(kSettingsKey, name);
}
}  // namespace

bool isWideScreenSize(QSize size) {
  if (size.height() <= 0) return false;
  return static_cast<double>(size.width()) / size.height() > 1.5;
}

bool IsWideScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  return isWideScreenSize(screen->geometry().size() * screen->devicePixelRatio());
}

int32_t LoadCurrent() {
  ValueStore store = ValueStore::open();
  if (!store.isOpen()) return 1;
  const auto value = storedValue(store, kCurrent);
  if (value && value->kind == ValueStore::Kind::Integer) return value->integer;
  store.setInteger(kSettingsKey, kCurrent, 1);
  return 1;
}

bool SaveCurrent(int32_t current) {
  ValueStore store = ValueStore::open();
  return store.isOpen() && store.setInteger(kSettingsKey, kCurrent, current);
}

QDateTime LoadLastTime(const QDateTime& now) {
  ValueStore store = ValueStore::open();
  // So far back that the daily test passes.
  if (!store.isOpen()) return QDateTime(QDate(1899, 12, 31), QTime(0, 0));
  const auto value = storedValue(store, kLastTime);
  if (value && value->kind == ValueStore::Kind::Text && IsDateTime(value->text))
    return parseLastTime(value->text);
  store.setText(kSettingsKey, kLastTime, lastTimeText(now));
  return now;
}

bool SaveLastTime(const QDateTime& time) {
  ValueStore store = ValueStore::open();
  return store.isOpen() && store.setText(kSettingsKey, kLastTime, lastTimeText(time));
}

bool IsDateTime(const QString& text) { return parseLastTime(text).isValid(); }

int LoadAutoChange() {
  ValueStore store = ValueStore::open();
  if (!store.isOpen()) return kChangeDisabled;
  const auto value = storedValue(store, kAutoChange);
  if (!value) return kChangeDisabled;
  if (value->kind != ValueStore::Kind::Integer) {
    store.remove(kSettingsKey, kAutoChange);
    return kChangeDisabled;
  }
  const int mode = value->integer;
  return mode >= kChangeAtStartup && mode <= kChangeDisabled ? mode : kChangeDisabled;
}

void SaveAutoChange(int mode) {
  ValueStore store = ValueStore::open();
  if (store.isOpen()) store.setInteger(kSettingsKey, kAutoChange, mode);
}

QStringList autoRunCommand(const QString& programFile, int mode) {
  return {programFile, QStringLiteral("-") + QString::number(mode)};
}

void SaveAutoRun(bool enabled, const QString& programFile) {
  if (enabled && writeAutostartEntry(autoRunCommand(programFile, LoadAutoChange()))) return;
  // An entry that could not be rewritten must not go on starting the
  // program with a stale mode, but one the user made read-only is theirs to
  // keep: only turning autostart off removes it.
  if (!enabled || mayReplaceFile(autostartEntryPath())) removeAutostartEntry();
}

bool AutoRunEnabled(const QString& programFile) {
  const auto entry = readAutostartEntry();
  if (!entry || !entry->active) return false;
  return QDir::cleanPath(entry->command.first()) == QDir::cleanPath(programFile);
}

int startupChangeMode(int storedMode, const QString& firstArgument) {
  if (storedMode == kChangeAtStartup) {
    const bool fromAutostart = firstArgument.size() == 2 && firstArgument[1] == u'1';
    return fromAutostart ? kChangeAtStartup : kChangeDisabled;
  }
  return storedMode == kChangeDaily ? kChangeDaily : kChangeDisabled;
}

QString lastTimeText(const QDateTime& time, const QLocale& locale) {
  const QString text = localeText(time, locale);
  if (sameToTheSecond(parseWith(text, locale), time)) return text;
  return isMidnight(time) ? time.toString(kPortableDate) : time.toString(kPortableDateTime);
}

QDateTime parseLastTime(const QString& text, const QLocale& locale) {
  const QDateTime time = parseWith(text, locale);
  return time.isValid() ? time : parsePortable(text);
}

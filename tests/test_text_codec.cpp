// Decoding 8-bit text: where a GBK text goes on after a code it cannot
// decode, and U+FEFF at the start of a piece of text.
#include <gtest/gtest.h>

#include <QList>
#include <QString>

#include "platform/TextCodec.h"

namespace {
const QString kReplacement(QChar(0xFFFD));

QString gbk(const QByteArray& bytes) { return decodeText(bytes, TextEncoding::Gbk); }
}  // namespace

// The user-defined codes of the Windows code page are private-use
// characters, one for the two bytes.
TEST(TextCodec, GbkUserDefinedCodesArePrivateUseCharacters) {
  EXPECT_EQ(gbk("\xA1\x81\x61"), QChar(0xE506) + QStringLiteral("a"));
  EXPECT_EQ(gbk("\xAC\xD8\xC8\xA1\xCF\xFB\x61\x62"), QChar(0xE0F3) + QString::fromUtf8("取消ab"));
  EXPECT_EQ(decodeText("\xAC\xD8\xC8\xA1\xCF\xFB\x61\x62"), QChar(0xE0F3) + QString::fromUtf8("取消ab"));
}

// Whatever a two-byte code stands for, the byte after it is read for itself.
TEST(TextCodec, EveryGbkPairIsOneCharacterAndTheTextGoesOnAfterIt) {
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const QByteArray bytes = QByteArray(1, char(lead)) + char(trail) + "a";
      // A few codes stand for characters beyond the 16-bit range.
      const QList<uint> characters = gbk(bytes).toUcs4();
      ASSERT_EQ(characters.size(), 2) << bytes.toHex().constData();
      ASSERT_EQ(characters[1], uint('a')) << bytes.toHex().constData();
    }
  }
}

TEST(TextCodec, GbkBytesThatCannotBeDecodedCostNothingAroundThem) {
  // A lead byte whose next byte cannot follow it: that next byte is itself.
  EXPECT_EQ(gbk("\x81\x20"
                "a"),
            kReplacement + QStringLiteral(" a"));
  EXPECT_EQ(gbk("\x81\x7F"
                "a"),
            kReplacement + QChar(0x7F) + QStringLiteral("a"));
  EXPECT_EQ(gbk("\xFF\xC8\xA1"), kReplacement + QString::fromUtf8("取"));
  // A four-byte code of no character is one replacement.
  EXPECT_EQ(gbk("\x84\x31\xA5\x30"
                "a"),
            kReplacement + QStringLiteral("a"));
  EXPECT_EQ(gbk("\x81\x30\x81\x30"), QString(QChar(0x80)));
  // Cut short at the end.
  EXPECT_EQ(gbk("a\xC8"), QStringLiteral("a") + kReplacement);
  EXPECT_EQ(gbk("a\x81\x30"), QStringLiteral("a") + kReplacement + QStringLiteral("0"));
  // The Windows code page's euro sign.
  EXPECT_EQ(gbk("\x80"), QString(QChar(0x20AC)));
}

TEST(TextCodec, CharacterBoundaryNeverSplitsAFourByteCode) {
  const QByteArray text =
      "a\x81\x30\x81\x30"
      "b";
  EXPECT_EQ(characterBoundary(text, 2, TextEncoding::Gbk), 1);
  EXPECT_EQ(characterBoundary(text, 4, TextEncoding::Gbk), 1);
  EXPECT_EQ(characterBoundary(text, 5, TextEncoding::Gbk), 5);
}

// A piece of text is not a file: its U+FEFF is no byte-order mark.
TEST(TextCodec, ALeadingUFeffIsKept) {
  const QString kept = QChar(0xFEFF) + QStringLiteral("a");
  EXPECT_EQ(decodeText("\xEF\xBB\xBF"
                       "a",
                       TextEncoding::Utf8),
            kept);
  EXPECT_EQ(decodeText("\xEF\xBB\xBF"
                       "a"),
            kept);
  EXPECT_EQ(decodeText("\xEF\xBB\xBF\xEF\xBB\xBF"), QString(2, QChar(0xFEFF)));
}

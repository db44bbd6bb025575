// The terminal-safety rule of sentrova-cli and the column widths of its table.
#include <gtest/gtest.h>

#include "cli/plain_text.h"
#include "device/camera_text.h"

namespace {

TEST(UnsafeCharacter, ControlsSeparatorsAndBidiMarksAreUnsafeTheirNeighboursAreNot) {
  struct Case {
    char16_t c;
    bool unsafe;
  };
  const Case cases[] = {
      {0x00, true},    {0x1b, true},    {0x1f, true},    {0x20, false},   {0x7e, false},   {0x7f, true},
      {0x85, true},    {0x9b, true},    {0x9f, true},    {0xa0, false},   {0x061b, false}, {0x061c, true},
      {0x061d, false}, {0x200d, false}, {0x200e, true},  {0x200f, true},  {0x2027, false}, {0x2028, true},
      {0x2029, true},  {0x202a, true},  {0x202e, true},  {0x202f, false}, {0x2065, false}, {0x2066, true},
      {0x2069, true},  {0x206a, false}, {0x3042, false}, {0xfeff, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsUnsafeCharacter(c.c), c.unsafe) << std::hex << int(c.c);
}

TEST(PlainText, EveryUnsafeCharacterIsAVisibleEscape) {
  struct Case {
    QString text;
    QString plain;
  };
  const Case cases[] = {
      {u"Front door"_qs, u"Front door"_qs},
      {u"a\tb\nc\rd\\e"_qs, u"a\\tb\\nc\\rd\\\\e"_qs},
      {u"\x1b[2J\x7f"_qs, u"\\x1b[2J\\x7f"_qs},
      {u"\u0085\u009b"_qs, u"\\x85\\x9b"_qs},
      {u"\u202eevil\u202c \u2066x\u2069 \u061c \u2028\u2029 \u200e\u200f"_qs,
       u"\\u202eevil\\u202c \\u2066x\\u2069 \\u061c \\u2028\\u2029 \\u200e\\u200f"_qs},
      {u"\u6771\u4eac \u00e9"_qs, u"\u6771\u4eac \u00e9"_qs},
  };
  for (const Case& c : cases) EXPECT_EQ(PlainText(c.text), c.plain) << c.text.toStdString();
}

TEST(JsonSafeText, RawUnsafeCharactersBecomeUnicodeEscapesAndLineBreaksStay) {
  const QString json = u"[\n    \"\u007f\u0085\u009b\u202e\u2066\u2069\u2028\u2029\u061c \u6771 \\n\"\n]\n"_qs;
  EXPECT_EQ(JsonSafeText(json),
            u"[\n    \"\\u007f\\u0085\\u009b\\u202e\\u2066\\u2069\\u2028\\u2029\\u061c \u6771 \\n\"\n]\n"_qs);
}

TEST(DisplayWidth, WideCharactersTakeTwoColumnsCombiningMarksNone) {
  struct Case {
    QString text;
    qsizetype columns;
  };
  const Case cases[] = {
      {u""_qs, 0},
      {u"Camera"_qs, 6},
      {u"\u30ab\u30e1\u30e9"_qs, 6},          // katakana
      {u"\u6771\u4eac"_qs, 4},                // CJK ideographs
      {u"\ud55c\uad6d"_qs, 4},                // Hangul syllables
      {u"\uff21\uff22"_qs, 4},                // fullwidth Latin
      {u"\uff76"_qs, 1},                      // halfwidth katakana
      {u"\u3000\u303f"_qs, 3},                // ideographic space wide, the next one narrow
      {u"Cafe\u0301"_qs, 4},                  // a combining acute
      {u"a\u200db"_qs, 2},                    // zero-width joiner
      {QString::fromUcs4(U"\U0001F600"), 2},  // an emoji beyond the BMP
      {QString::fromUcs4(U"\U00020000"), 2},  // a supplementary ideograph
      {u"\\u202e"_qs, 6},                     // an escape as the table prints it
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayWidth(c.text), c.columns) << c.text.toStdString();
}

TEST(MacColonText, TheListsGroupsJoinedByColons) {
  EXPECT_EQ(device::FormatMacColonText(u"0.12.34.88.0.10"), u"00:0C:22:58:00:0A");
  EXPECT_EQ(device::FormatMacColonText(u"255.1.2.3.4.5"), u"FF:01:02:03:04:05");
  EXPECT_EQ(device::FormatMacColonText(u"1.2.x"), u"01:02:??:??:??:??");
  EXPECT_EQ(device::FormatMacText(u"0.12.34.88.0.10"), u"00 0C 22 58 00 0A");
}

}  // namespace

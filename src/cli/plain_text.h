#pragma once
// Texts that come from the network, made safe to print on a terminal. One
// rule says which characters are unsafe: control characters (C0, DEL, C1;
// escape sequences among them), line and paragraph separators, and the marks,
// embeddings, overrides and isolates that reorder bidirectional text. Both
// outputs escape exactly these.
#include <QString>

// Whether the character must not reach a terminal as it is.
bool IsUnsafeCharacter(char16_t c);

// For the table: every unsafe character as a backslash escape ("\n", "\t",
// "\r", "\x1b", "\x9b", "\u202e"), and a backslash itself as two, so the
// printed form is unambiguous.
QString PlainText(const QString& text);

// For JSON text already serialised: every unsafe character still raw becomes
// a \uXXXX escape; the document's own line breaks stay. Such a character can
// only stand inside a string, where the escape means the same character, so
// the document keeps its meaning.
QString JsonSafeText(const QString& json);

// The columns a terminal gives the text: two for an East Asian wide or
// fullwidth character, none for a combining mark or an invisible format
// character, one for any other.
qsizetype DisplayWidth(const QString& text);

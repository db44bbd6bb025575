#pragma once
// Texts that come from the network, made safe to print on a terminal: control
// characters (escape sequences among them), line and paragraph separators and
// bidirectional overrides are shown as backslash escapes, and a backslash
// itself as two, so the printed form is unambiguous.
#include <QString>

QString PlainText(const QString& text);

// File names as the bytes on disk. Inside the program a name is a QString that holds those bytes
// losslessly: valid UTF-8 is decoded as such, every other byte 0xNN becomes the lone surrogate
// U+DC00+NN. Every path that reaches the file system or a library goes through NameToBytes;
// windows and terminals show DisplayName.
#pragma once

#include <QByteArray>
#include <QString>

namespace orvex2 {

QString NameFromBytes(const QByteArray& bytes);
QByteArray NameToBytes(const QString& name);

// The current folder as its bytes ("/" when it cannot be read).
QString CurrentFolderName();

// True when the name holds bytes that are not UTF-8.
bool HasRawBytes(const QString& name);

// For people: each "/"-separated part decoded as UTF-8, else as CP932, else as UTF-8 with each
// undecodable byte shown as "\xNN".
QString DisplayName(const QString& name);

// For a terminal: DisplayName with every control character (C0, DEL, C1) shown as "\xNN" or
// "\u00NN", so no name can move the cursor, retitle the window or split a line.
QString TerminalName(const QString& name);
// The same escaping for any text that may hold a name.
QString TerminalText(const QString& text);

}  // namespace orvex2

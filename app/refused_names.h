// Names handed to the program (a file manager's "open with", a shell) that the target list did
// not take: the reason for each, told once the window is up, so the window is never empty
// without a word.
#pragma once

#include <QString>

class QObject;

namespace orvex2 {

// Why the target list does not take `name`, for people; empty when it does.
QString RefusalReason(const QString& name);
// The message about the names of a command line that the target list does not take; empty
// when it takes every one.
QString RefusedNamesMessage(const QString& commandLine);
// Shows RefusedNamesMessage in a box once the event loop runs (the window is shown by then);
// nothing when every name was taken. The box goes with `owner`.
void TellRefusedNames(QObject* owner, const QString& commandLine);

}  // namespace orvex2

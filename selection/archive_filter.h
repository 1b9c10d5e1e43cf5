// The archive name filter: which files count as archives to check, from the option record and
// the library present flags. Pure functions without state or widgets.
#pragma once

#include <QString>

namespace orvex2 {

// Matches no real file: what a file list is given when no family is a target.
inline constexpr const char* kNoArchivePattern = "abcdzyxw.___";

// The pattern rule: ";"-separated wildcard items ("*.LZH;*.ZIP;...") for the file browser's
// file list. The file browser's Pattern_Make hands this to its list.
QString PatternRule();

// The extension rule: true when the extension of `name` (a file name or a path) is accepted
// by the current options. Double-compressed names are judged by two extensions when Double is set.
bool Exp_Check(const QString& name);

}  // namespace orvex2

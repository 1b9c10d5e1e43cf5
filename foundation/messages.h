// The two message tables: product texts (this program's) and common texts (shared wording).
// Pure lookups over compile-time tables; an ID without an entry gives empty text.
#pragma once

#include <QString>

namespace orvex2 {

QString ProductText(int id);
QString CommonText(int id);

}  // namespace orvex2

#pragma once

#include <QString>

// The user's preferred languages, most preferred first, as BCP 47 tags ("ja", "en-GB").
namespace PreferredLanguages {

// The first preferred language: QLocale::uiLanguages()'s first entry, unless overridden.
QString first();

// Tests pin the language; an empty string returns to the system's.
void setOverride(const QString &language);

// True when the first preferred language is exactly "ja" (a tag with a region, such as
// "ja-JP", is another language here).
bool isJapanese();

}  // namespace PreferredLanguages

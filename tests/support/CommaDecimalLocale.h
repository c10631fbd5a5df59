#pragma once

#include <QLocale>

#include <clocale>
#include <string>

// A German desktop for the life of the guard: Qt's default locale and the C library's numbers
// both write decimal commas (scripts/setup generates de_DE.UTF-8). Check active() first: a
// machine without the locale would otherwise test nothing.
class CommaDecimalLocale {
public:
    CommaDecimalLocale() : mPreviousC(std::setlocale(LC_NUMERIC, nullptr)) {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        mActive = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr &&
                  std::localeconv()->decimal_point == std::string(",");
    }
    ~CommaDecimalLocale() {
        std::setlocale(LC_NUMERIC, mPreviousC.c_str());
        QLocale::setDefault(mPrevious);
    }
    CommaDecimalLocale(const CommaDecimalLocale &) = delete;
    CommaDecimalLocale &operator=(const CommaDecimalLocale &) = delete;

    bool active() const { return mActive; }

private:
    QLocale mPrevious;
    std::string mPreviousC;
    bool mActive = false;
};

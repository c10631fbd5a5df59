#pragma once

#include <QString>

// Text from outside (a server's answer, a line of a file) made fit for a log line: control
// characters other than line feed and tab are written \xNN, so that they cannot steer a
// terminal, and past `limit` characters the rest is left out and counted.
QString loggableText(const QString &text, qsizetype limit = 4096);

// A URL as text with its user information (user name and password) hidden: "http://***@host/".
QString withoutUserInfo(const QString &url);

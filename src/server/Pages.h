#pragma once

#include "server/ServerViews.h"

#include <QByteArray>

#include <vector>

// The collection server's HTML pages, UTF-8, without scripts. Every text that came from a
// device is escaped (a device identifier is whatever its sender chose), and every number is
// written in the C locale whatever the server's. The markup is also well-formed XML, so that
// tests and tools can read it with an XML parser. Any thread.
namespace Pages {

// "/": the latest events (in the order given) with links to their reports, then the latest
// reports, each with its plot (/api/reports/ID/plot.png) and a link to its page.
QByteArray index(const std::vector<EventView> &events, const std::vector<ReportView> &reports);

// "/reports/ID": everything known of one report, its plot and its downloads.
QByteArray report(const ReportView &report);

// The page of a 404 answer.
QByteArray notFound();

}  // namespace Pages

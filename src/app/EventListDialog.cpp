#include "app/EventListDialog.h"

#include "app/EventTexts.h"
#include "core/DateText.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column { kTime, kDuration, kPga, kIntensity, kColumns };
}  // namespace

EventListDialog::EventListDialog(QWidget *parent)
    : QDialog(parent), mTable(new QTableWidget(0, kColumns, this)), mEmptyNote(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Past events"));
    mTable->setHorizontalHeaderLabels({QStringLiteral("Date and time"), QStringLiteral("Duration"),
                                       QStringLiteral("PGA"), QStringLiteral("Intensity")});
    mTable->verticalHeader()->hide();
    mTable->horizontalHeader()->setStretchLastSection(true);
    mTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    mEmptyNote->setText(QStringLiteral("No events yet"));
    mEmptyNote->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(mTable);
    layout->addWidget(mEmptyNote);
    resize(440, 300);
    setEvents({});
}

void EventListDialog::setEvents(const std::vector<Event> &events) {
    mTable->setRowCount(int(events.size()));
    int row = 0;
    for (auto event = events.rbegin(); event != events.rend(); ++event, ++row) {
        const QString texts[kColumns] = {DateText::defaultText(event->start),
                                         EventTexts::duration(*event), EventTexts::pga(*event),
                                         EventTexts::intensity(*event)};
        for (int column = 0; column < kColumns; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            if (column == kDuration || column == kPga) {
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            } else if (column == kIntensity) {
                item->setTextAlignment(Qt::AlignCenter);
            }
            mTable->setItem(row, column, item);
        }
    }
    mTable->resizeColumnsToContents();
    mTable->setVisible(!events.empty());
    mEmptyNote->setVisible(events.empty());
}

#include "ui/TableView.h"

#include <algorithm>

#include <QEvent>
#include <QLabel>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
const char *kSection = "shakelog.section";
const char *kRow = "shakelog.row";
}  // namespace

TableView::TableView(QWidget *parent) : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TableView::reloadData() {
    // Cells belong to the data source: take them out before the old content goes.
    if (mContent) {
        for (QWidget *row :
             mContent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            for (QWidget *cell :
                 row->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
                cell->setParent(nullptr);
            }
        }
    }
    mContent = new QWidget;
    mContent->setObjectName(QStringLiteral("tableContent"));
    auto *column = new QVBoxLayout(mContent);
    column->setContentsMargins(8, 4, 8, 8);
    column->setSpacing(0);
    const int sections = mDataSource ? mDataSource->numberOfSectionsInTableView(this) : 0;
    for (int section = 0; section < sections; ++section) {
        auto *header =
            new QLabel(mDataSource->titleForHeaderInSection(this, section).toUpper(), mContent);
        header->setObjectName(QStringLiteral("header%1").arg(section));
        header->setStyleSheet(
            QStringLiteral("color: #6d6d72; font-size: 11px; padding: 12px 8px 4px 8px;"));
        column->addWidget(header);
        const int rows = mDataSource->numberOfRowsInSection(this, section);
        for (int row = 0; row < rows; ++row) {
            const IndexPath path{section, row};
            auto *holder = new QWidget(mContent);
            holder->setObjectName(QStringLiteral("row%1_%2").arg(section).arg(row));
            holder->setFixedHeight(mDataSource->heightForRowAtIndexPath(this, path));
            holder->setProperty(kSection, section);
            holder->setProperty(kRow, row);
            holder->installEventFilter(this);
            auto *inside = new QVBoxLayout(holder);
            inside->setContentsMargins(0, 0, 0, 0);
            if (QWidget *cell = mDataSource->cellForRowAtIndexPath(this, path)) {
                inside->addWidget(cell);
                cell->show();
            }
            column->addWidget(holder);
        }
    }
    column->addStretch();
    setWidget(mContent);  // deletes the previous content
}

QWidget *TableView::headerOfSection(int section) const {
    return mContent ? mContent->findChild<QWidget *>(QStringLiteral("header%1").arg(section))
                    : nullptr;
}

QWidget *TableView::rowAt(IndexPath indexPath) const {
    return mContent ? mContent->findChild<QWidget *>(
                          QStringLiteral("row%1_%2").arg(indexPath.section).arg(indexPath.row))
                    : nullptr;
}

bool TableView::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonRelease && mDelegate) {
        mDelegate->didSelectRowAtIndexPath(
            this, {watched->property(kSection).toInt(), watched->property(kRow).toInt()});
    }
    return QScrollArea::eventFilter(watched, event);
}

void TableView::scrollRectToVisible(const QRect &rect, bool animated) {
    QScrollBar *bar = verticalScrollBar();
    const int top = bar->value();
    const int height = viewport()->height();
    int target = top;
    if (rect.top() < top) {
        target = rect.top();
    } else if (rect.bottom() + 1 > top + height) {
        target = std::min(rect.top(), rect.bottom() + 1 - height);
    }
    target = std::clamp(target, bar->minimum(), bar->maximum());
    if (!animated || target == top) {
        bar->setValue(target);
        return;
    }
    auto *animation = new QPropertyAnimation(bar, "value", this);
    animation->setDuration(300);
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

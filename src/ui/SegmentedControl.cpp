#include "ui/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

SegmentedControl::SegmentedControl(QWidget *parent)
    : QWidget(parent), mGroup(new QButtonGroup(this)) {
    mGroup->setExclusive(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    connect(mGroup, &QButtonGroup::idClicked, this, &SegmentedControl::valueChanged);
}

void SegmentedControl::setSegments(const QStringList &titles) {
    for (QAbstractButton *button : mGroup->buttons()) {
        mGroup->removeButton(button);
        delete button;
    }
    for (int i = 0; i < titles.size(); ++i) {
        auto *button = new QToolButton(this);
        button->setText(titles[i]);
        button->setCheckable(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        mGroup->addButton(button, i);
        layout()->addWidget(button);
    }
    setSelectedSegmentIndex(0);
}

int SegmentedControl::numberOfSegments() const { return int(mGroup->buttons().size()); }

int SegmentedControl::selectedSegmentIndex() const { return mGroup->checkedId(); }

void SegmentedControl::setSelectedSegmentIndex(int index) {
    if (QAbstractButton *button = mGroup->button(index)) {
        button->setChecked(true);
    }
}

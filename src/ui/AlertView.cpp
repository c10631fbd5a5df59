#include "ui/AlertView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AlertView::AlertView(const QString &title, const QString &message, AlertViewDelegate *delegate,
                     const QString &cancelButtonTitle, const QStringList &otherButtonTitles,
                     QWidget *parent)
    : QDialog(parent ? parent->window() : nullptr),
      mDelegate(delegate),
      mDelegateObject(dynamic_cast<QObject *>(delegate)),
      mDelegateIsObject(!mDelegateObject.isNull()),
      mMessage(message) {
    setWindowTitle(title);
    setModal(false);
    setMinimumWidth(270);  // the phone's alert width: short texts stay on one line
    auto *layout = new QVBoxLayout(this);
    auto *titleLabel = new QLabel(title, this);
    QFont bold = titleLabel->font();
    bold.setBold(true);
    titleLabel->setFont(bold);
    titleLabel->setAlignment(Qt::AlignHCenter);
    auto *messageLabel = new QLabel(message, this);
    messageLabel->setWordWrap(true);
    messageLabel->setAlignment(Qt::AlignHCenter);
    layout->addWidget(titleLabel);
    layout->addWidget(messageLabel);
    auto *row = new QHBoxLayout;
    QStringList titles{cancelButtonTitle};
    titles += otherButtonTitles;
    for (const QString &text : titles) {
        auto *button = new QPushButton(text, this);
        const int index = int(mButtons.size());
        connect(button, &QPushButton::clicked, this,
                [this, index] { dismissWithClickedButtonIndex(index); });
        mButtons.append(button);
        row->addWidget(button);
    }
    layout->addLayout(row);
}

AlertView *AlertView::showMessage(const QString &title, const QString &message,
                                  const QString &button, AlertViewDelegate *delegate,
                                  QWidget *parent) {
    auto *alert = new AlertView(title, message, delegate, button, {}, parent);
    alert->show();
    return alert;
}

QString AlertView::buttonTitleAtIndex(int index) const {
    return index >= 0 && index < mButtons.size() ? mButtons[index]->text() : QString();
}

void AlertView::dismissWithClickedButtonIndex(int buttonIndex) {
    if (mDismissed) {
        return;
    }
    mDismissed = true;
    if (mDelegate && (!mDelegateIsObject || mDelegateObject)) {
        mDelegate->alertViewClickedButtonAtIndex(this, buttonIndex);
    }
    hide();
    deleteLater();
}

void AlertView::reject() { dismissWithClickedButtonIndex(0); }

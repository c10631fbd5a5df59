#pragma once

#include "ui/AlertView.h"

#include <QApplication>
#include <QList>

// The alerts on screen, oldest first.
inline QList<AlertView *> visibleAlerts() {
    QList<AlertView *> alerts;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *alert = qobject_cast<AlertView *>(widget);
        if (alert && alert->isVisible()) {
            alerts << alert;
        }
    }
    return alerts;
}

// "title / message" of every alert on screen, for readable assertions.
inline QStringList alertTexts() {
    QStringList texts;
    for (AlertView *alert : visibleAlerts()) {
        texts << alert->title() + " / " + alert->message();
    }
    return texts;
}

// Closes every alert on screen with its cancel button.
inline void dismissAlerts() {
    for (AlertView *alert : visibleAlerts()) {
        alert->dismissWithClickedButtonIndex(0);
    }
}

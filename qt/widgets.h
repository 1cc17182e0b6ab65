#pragma once
#include <QObject>
#include <QPushButton>
#include <QRect>
#include <QString>

// A push button with object name Name and text Caption at Geometry on Window,
// whose clicks call Handler. Window owns it.
template <class TWindow>
QPushButton* MakeButton(TWindow* Window, const char* Name, const QString& Caption,
                        const QRect& Geometry, void (TWindow::*Handler)()) {
    auto* button = new QPushButton(Caption, Window);
    button->setObjectName(QString::fromLatin1(Name));
    button->setGeometry(Geometry);
    QObject::connect(button, &QPushButton::clicked, Window, Handler);
    return button;
}

#pragma once

// Catches what would go to the desktop opener: QDesktopServices::setUrlHandler("file", &catcher,
// "open") hands every file URL to it instead.
#include <QList>
#include <QObject>
#include <QUrl>

class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

#pragma once
// Follows a generated site in Qt WebEngine as a visitor would: every page reached from the index
// is loaded from disk and every link that stays inside the site's folder is followed.
#include <QList>
#include <QString>
#include <QStringList>

namespace sitecrawl {

struct Page {
    QString file;     // absolute path
    bool loaded = false;
    QString title;    // as the engine shows it
    QString h2;       // text of the first h2, empty when there is none
    QStringList paragraphs; // texts of the p elements
    QStringList links; // absolute addresses of the a href elements
};

struct Result {
    QList<Page> pages;  // in the order reached
    QStringList broken; // "page -> address" for each link inside the folder that did not load
};

// Loads one file in the engine; false when it did not load within the timeout.
bool LoadPage(const QString& file, Page& page, int timeoutMs = 20000);

// Starts at the index page and follows every link that stays inside its folder.
Result Crawl(const QString& indexFile, int timeoutMs = 20000);

} // namespace sitecrawl

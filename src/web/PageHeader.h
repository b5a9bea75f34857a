#pragma once
// The page header: the run of one-line "<!--" comments at the top of a node page, its line
// kinds, the value of one line, the three value readers and the split of a page into header
// lines and body. Plain code; the windows call it.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

class QIODevice;

// A header line is the text before the value, the value, then the text after it. Lines without
// a value (marks and templates) have only the text before it.
struct HeaderLineKind {
    const char* before;
    const char* after;
};

namespace HeaderLines {
// Marks and templates, written whole.
inline constexpr char DownloadMark[] = "<!-- DownloadPage=\"True\"-->";
inline constexpr char HideMark[] = "<!-- HidePage=\"True\"-->";
inline constexpr char UserKeywords[] = "<!-- UserKeywords=\" \" -->";
inline constexpr char UserDescription[] = "<!-- UserDescription=\" \" -->";
inline constexpr char UserKategory[] = "<!-- UserKategory=\" \" -->";
inline constexpr char StopList[] = "<!-- StopList -->";
// Lines that carry a value.
inline constexpr HeaderLineKind DownloadURL{"<!-- DownloadURL=\"", "\" -->"};
inline constexpr HeaderLineKind SearchWords{"<!-- SearchWords=\"", "\"-->"};
inline constexpr HeaderLineKind UrlForDownload{"<!-- urlfordownload=\"", "\" -->"};
inline constexpr HeaderLineKind DataTime{"<!-- DataTime=\"", "\" -->"};
inline constexpr HeaderLineKind DateTime{"<!-- Date/Time= ", " -->"};
inline constexpr HeaderLineKind TreeKategory{"<!-- TreeKategory=\"", "\"-->"};
// Every header line begins with this.
inline constexpr char CommentStart[] = "<!--";
} // namespace HeaderLines

// The header line of a kind with a value, in Windows-1251. *ok is false when the value holds a
// character that Windows-1251 cannot hold (it is then written as '?').
QByteArray makeHeaderLine(const HeaderLineKind& kind, const QString& value, bool* ok = nullptr);

// The value of one header line (a line that begins with "<!--") for a key: *matched tells
// whether the line carries the key; the value is empty when it does not or when it is empty.
QString headerLineValue(QStringView line, QStringView key, bool* matched = nullptr);

// The search words window's reader: every line up to the first that begins with "<html>" in any
// case, compared in lower case; the first matching line gives the value, in lower case. The value
// is left as the caller passed it when the file is missing or no line matches.
void FindKomand(const QString& fileName, const QString& key, QString& value);
QString FindKomand(const QString& fileName, const QString& key);

// The download manager's reader: the leading "<!--" lines, case-sensitive, the last matching line
// gives the value. downloadMark becomes 1 when a line equals the download mark.
QString ReadHeaderValue(const QString& fileName, const QString& key, int& downloadMark);
// The link list's reader: as above, but the first matching line gives the value and ends the
// scan, so a download mark after it is not seen.
QString ReadLinkHeaderValue(const QString& fileName, const QString& key, int& downloadMark);

// A page split into its header and its body.
struct PageHead {
    bool exists = false;   // the file exists (as a file)
    bool readable = false; // it could be read
    bool wide = false;     // UTF-16 or UTF-32: no header can be written into it
    QByteArray bom;        // a UTF-8 byte order mark in front of the first line, else empty
    QList<QByteArray> lines; // the leading lines that begin with "<!--", as bytes
    qint64 bodyOffset = 0;   // where the body begins in the file
};

// Reads only as far as the header goes. A missing or unreadable file gives an empty head.
PageHead readPageHead(const QString& path);
PageHead readPageHead(QIODevice& device);

// Writes the header lines (Windows-1251 text, each ending in CR LF) in front of the body that the
// file holds now, byte for byte, keeping a UTF-8 byte order mark first. The write is atomic.
// Fails with a message naming the file when it cannot be read or written, or when the page is in
// UTF-16 or UTF-32 (nothing is written then).
bool writePageHead(const QString& path, const QList<QByteArray>& lines, QString* error);

// Header lines as the editor shows them and back: Windows-1251.
QString headerLineText(const QByteArray& line);

// The characters of a text that Windows-1251 cannot hold, each once, for a message.
QString charsOutside1251(QStringView text);

// Reads a file line by line (CR LF, LF or CR), only as far as the caller goes. A UTF-8 byte
// order mark is not part of the first line. Lines that do not begin with "<!--" can be skipped
// cheaply: only their first bytes are kept.
class PageLineReader {
public:
    explicit PageLineReader(QIODevice& device);
    bool wide() const { return wide_; }
    bool hasBom() const { return bom_; }
    // Returns false at the end. With headOnlyUnlessComment, a line that does not begin with
    // "<!--" is returned cut to its first 8 bytes.
    bool next(QByteArray& line, bool headOnlyUnlessComment = false);
    // File offset of the line last returned, and of the next one.
    qint64 lineStart() const { return lineStart_; }
    qint64 position() const { return base_ + pos_; }

private:
    bool fill();
    QIODevice& dev_;
    QByteArray buf_;
    qsizetype pos_ = 0;
    qint64 base_ = 0;
    qint64 lineStart_ = 0;
    bool eof_ = false;
    bool wide_ = false;
    bool bom_ = false;
};

// The page file of a node: folder + node text + the last of the extensions whose file exists
// (names matched without regard to case), else the first extension. Empty when the node text
// cannot be a file name in the folder ("/", control characters, "." or ".."). *exists tells
// whether the file was found.
QString nodePageFile(const QString& folder, const QString& nodeText, const QStringList& extensions,
                     bool* exists = nullptr);

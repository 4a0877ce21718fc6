// The map page's place in the map window: the browser that shows mapView.htm, runs the
// viewer's scripts on it and hands back what the page reports. Behind an interface so that
// the window's rules can be checked without a browser.
#pragma once

#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <functional>
#include <memory>

class QWebEngineUrlSchemeHandler;
class QWebEngineView;
class QWidget;

namespace qelv::ui {

class MapSurface {
public:
    virtual ~MapSurface() = default;

    // The widget that shows the page; the map window places it over its browser area.
    virtual QWidget* widget() = 0;
    // Starts loading `page`; ready() turns true once it has loaded.
    virtual void load(const QUrl& page) = 0;
    // Has `tiles` answer the page's tile requests (its scheme, kTileScheme); said before
    // load(). The caller keeps `tiles` alive as long as this surface.
    virtual void serveTiles(QWebEngineUrlSchemeHandler* tiles) { (void)tiles; }
    virtual bool ready() const = 0;
    // Runs `script` on the loaded page; its result is not used.
    virtual void runScript(const QString& script) = 0;

    // Told the text after kRouteClickPrefix of every such console message of the page
    // (untrusted: the receiver checks it).
    std::function<void(const QString&)> onRouteClick;
    // The same for kIncidentClickPrefix and kTripClickPrefix.
    std::function<void(const QString&)> onIncidentClick;
    std::function<void(const QString&)> onTripClick;
};

// The page's side of the browser: its console reports route and incident clicks, and it never
// navigates away from the map (a click on the attribution link does nothing).
class MapPage : public QWebEnginePage {
    Q_OBJECT
public:
    MapPage(const QUrl& page, QWebEngineProfile* profile, QObject* parent);
    std::function<void(const QString&)> onRouteClick;
    std::function<void(const QString&)> onIncidentClick;
    std::function<void(const QString&)> onTripClick;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override;
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    QUrl m_page;
};

// The real browser: Qt WebEngine (Chromium).
std::unique_ptr<MapSurface> createWebMapSurface(QWidget* parent, const QUrl& page);

}  // namespace qelv::ui

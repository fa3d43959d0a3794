#include <QObject>
#include <QtPlugin>

// A browser module as an earlier version of the program built it: its interface id is not the
// one the loader asks for, so its code must never be called.
class OldBrowserModule {
public:
    virtual ~OldBrowserModule() = default;
    virtual void* createPage() = 0;
};

Q_DECLARE_INTERFACE(OldBrowserModule, "org.moting-seo.BrowserModule/0")

class OldBrowserPlugin : public QObject, public OldBrowserModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.moting-seo.BrowserModule/0")
    Q_INTERFACES(OldBrowserModule)

public:
    void* createPage() override { return nullptr; }
};

#include "oldbrowsermodule.moc"

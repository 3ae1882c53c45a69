#pragma once
// One window per session: the first start owns a name on the session bus; a
// second start (an "Open with" from a file manager, say) hands its files to
// that window over D-Bus and ends.
#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

inline constexpr char SingleInstanceService[] = "example.orvane.VideoJoiner";

class TSingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.orvane.VideoJoiner")
public:
    explicit TSingleInstance(QDBusConnection bus, QObject* parent = nullptr);
    ~TSingleInstance() override;
    // Takes the name and offers Open; false when another start holds the
    // name or there is no session bus.
    bool Claim();
    // The window's answer to files handed over ("added", "busy", "raised");
    // until it is set, files handed over are refused.
    std::function<std::string(const std::vector<std::string>&)> OnFiles;

public slots:
    // Called by a second start with its files (absolute paths).
    QString Open(const QStringList& files);

private:
    QDBusConnection bus_;
    bool claimed_ = false;
};

// A second start: hands the files to the window that holds the name. True
// when it took them; answer gets its reply. False without such a window.
bool HandToRunningInstance(const QDBusConnection& bus, const std::vector<std::string>& files,
                           std::string* answer = nullptr);

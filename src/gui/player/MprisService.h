#pragma once

#include "core/player/PlaybackListener.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>

#include <string>

namespace cantorel {

class Session;

// The program on the session bus as a media player (MPRIS2), so that media keys and the
// desktop's player widgets drive it: a thin view of the playback controller.
class MprisService : public QObject, public PlaybackListener {
    Q_OBJECT
public:
    // The bus name of every instance of the program; a second one for another folder adds
    // ".instance" and its process id.
    static constexpr const char* BusName = "org.mpris.MediaPlayer2.cantorel";

    // How long another instance is given to answer, in ms.
    static constexpr int AnswerMs = 1000;
    enum class Instance {
        None,     // no instance for this folder runs: start
        Raised,   // one does, and was asked to raise its window: this one need not start
        NoAnswer, // one holds the name but did not answer: start all the same
    };
    static Instance raiseRunningInstance(const std::string& musicFolder);

    // Registers on the session bus; without a bus the program simply runs without it.
    // The session's player must be started.
    explicit MprisService(Session& session);
    ~MprisService() override;

    Session& session() const { return session_; }
    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong positionMicroseconds() const;
    qlonglong lengthMicroseconds() const;
    void seekToMicroseconds(qlonglong microseconds);
    // The volume as MPRIS has it (1.0 the normal volume); setting it keeps it.
    double volume() const;
    void setVolume(double volume);
    // The volume was set elsewhere (the panel): the bus hears of it.
    void announceVolume();

    void activeTrackChanged(const PlaybackController& playback) override;
    void playingChanged(bool playing) override;
    void playbackFinished() override;
    void positionChanged(std::int32_t positionMs, std::int32_t lengthMs) override;

signals:
    // A remote control set the volume (in percent): the panel shows it.
    void volumeChanged(int percent);
    // The remote control asks for the window in front, or for the program's end.
    void raiseRequested();
    void quitRequested();

private:
    void propertiesChanged(const QString& interface, const QVariantMap& changed);
    QVariantMap trackMetadata() const;
    Session& session_;
    bool registered_ = false;
    QVariantMap metadata_; // of the track the views show
    std::int32_t lastPositionMs_ = 0;
};

// org.mpris.MediaPlayer2
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)
public:
    explicit MprisRoot(MprisService* service);
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return "Cantorel"; }
    QString desktopEntry() const { return "org.cantorel.Cantorel"; }
    QStringList none() const { return {}; }
public slots:
    void Raise();
    void Quit();

private:
    MprisService* service_;
};

// Our own: which music folder this instance shows (a second start for the same folder
// raises this one instead).
class CantorelInstance : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.cantorel.Instance")
    Q_PROPERTY(QString MusicFolder READ musicFolder)
public:
    explicit CantorelInstance(MprisService* service);
    QString musicFolder() const;

private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ canPlay)
    Q_PROPERTY(bool CanControl READ canControl)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
public:
    explicit MprisPlayer(MprisService* service);
    QString playbackStatus() const { return service_->playbackStatus(); }
    double rate() const { return 1.0; }
    QVariantMap metadata() const { return service_->metadata(); }
    qlonglong position() const { return service_->positionMicroseconds(); }
    bool canGoNext() const;
    bool canGoPrevious() const;
    bool canPlay() const;
    bool canControl() const { return true; }
    double volume() const { return service_->volume(); }
    void setVolume(double volume) { service_->setVolume(volume); }
public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString&) {}
signals:
    void Seeked(qlonglong position);

private:
    MprisService* service_;
};

} // namespace cantorel

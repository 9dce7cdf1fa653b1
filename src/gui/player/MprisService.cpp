#include "gui/player/MprisService.h"

#include "core/player/PlaybackController.h"
#include "core/player/StreamVolume.h"
#include "core/player/TMPEGPlayer.h"
#include "core/session/Session.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <unistd.h>

namespace cantorel {

namespace {

constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

MprisService::Instance MprisService::raiseRunningInstance(const std::string& musicFolder)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(BusName))
        return Instance::None;
    // A stopped or hung instance holds the name without answering: it is waited for a
    // second, not the bus's default of 25.
    QDBusMessage get = QDBusMessage::createMethodCall(BusName, ObjectPath, "org.freedesktop.DBus.Properties", "Get");
    get << QString("org.cantorel.Instance") << QString("MusicFolder");
    const QDBusMessage reply = bus.call(get, QDBus::Block, AnswerMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return reply.errorName() == "org.freedesktop.DBus.Error.NoReply" ? Instance::NoAnswer : Instance::None;
    const QString folder = reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    if (folder != qs(musicFolder))
        return Instance::None;
    bus.call(QDBusMessage::createMethodCall(BusName, ObjectPath, "org.mpris.MediaPlayer2", "Raise"), QDBus::NoBlock);
    return Instance::Raised;
}

MprisService::MprisService(Session& session) : session_(session)
{
    new MprisRoot(this);
    new MprisPlayer(this);
    new CantorelInstance(this);
    metadata_ = trackMetadata();
    session_.playback().addListener(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return; // no session bus: no remote control, and nothing else changes
    registered_ = bus.registerObject(ObjectPath, this);
    if (registered_ && !bus.registerService(BusName))
        bus.registerService(QString(BusName) + ".instance" + QString::number(::getpid()));
}

MprisService::~MprisService()
{
    session_.playback().removeListener(this);
    if (registered_)
        QDBusConnection::sessionBus().unregisterObject(ObjectPath);
}

QString MprisService::playbackStatus() const
{
    const PlaybackController& p = session_.playback();
    // While the end of the last track is heard, the views still show it playing.
    if (p.isPlaying() || p.viewsBehind())
        return "Playing";
    return p.isStopped() ? "Stopped" : "Paused";
}

QVariantMap MprisService::metadata() const { return metadata_; }

QVariantMap MprisService::trackMetadata() const
{
    const NodeId node = session_.playback().shownNode();
    const CollectionItem* r = node == NoNode ? nullptr : session_.tree().record(node);
    if (!r)
        return {{"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack"))}};
    QVariantMap m{
        {"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/org/cantorel/track/" + QString::number(node)))},
        {"mpris:length", lengthMicroseconds()},
        {"xesam:title", qs(r->Name)},
        {"xesam:album", qs(r->Album)},
        {"xesam:artist", QStringList{qs(r->Artist)}},
        {"xesam:url", QUrl::fromLocalFile(QString::fromStdString(r->Path.str())).toString()},
    };
    if (r->Track > 0)
        m.insert("xesam:trackNumber", static_cast<int>(r->Track));
    // Every picture the Picture page shows: a tag's picture through a copy in the cache.
    if (const std::string art = session_.pictureFile(node); !art.empty())
        m.insert("mpris:artUrl", QUrl::fromLocalFile(QString::fromUtf8(art.data(), qsizetype(art.size()))).toString());
    return m;
}

qlonglong MprisService::positionMicroseconds() const { return qlonglong(session_.playback().positionMs()) * 1000; }

qlonglong MprisService::lengthMicroseconds() const { return qlonglong(session_.playback().shownLengthMs()) * 1000; }

double MprisService::volume() const
{
    const StreamVolume* v = session_.volume();
    return v ? v->percent() / 100.0 : 1.0;
}

void MprisService::setVolume(double volume)
{
    StreamVolume* v = session_.volume();
    if (!v || !(volume == volume)) // no sound output, or not a number
        return;
    const double clamped = std::clamp(volume, 0.0, StreamVolume::Maximum / 100.0);
    v->setPercent(static_cast<int>(clamped * 100 + 0.5));
    emit volumeChanged(v->percent());
    announceVolume();
}

void MprisService::announceVolume() { propertiesChanged(PlayerInterface, {{"Volume", volume()}}); }

void MprisService::positionChanged(std::int32_t positionMs, std::int32_t)
{
    // Positions are read when asked; a jump back (a rewind) is told.
    if (positionMs < lastPositionMs_ - 1000)
        emit findChild<MprisPlayer*>()->Seeked(qlonglong(positionMs) * 1000);
    lastPositionMs_ = positionMs;
}

void MprisService::seekToMicroseconds(qlonglong microseconds)
{
    session_.playback().releasePosition(static_cast<int>(std::max<qlonglong>(microseconds, 0) / 1'000'000));
    emit findChild<MprisPlayer*>()->Seeked(positionMicroseconds());
}

void MprisService::propertiesChanged(const QString& interface, const QVariantMap& changed)
{
    if (!registered_)
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(ObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << interface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void MprisService::activeTrackChanged(const PlaybackController& p)
{
    metadata_ = trackMetadata();
    lastPositionMs_ = 0;
    propertiesChanged(PlayerInterface, {{"Metadata", metadata()},
                                        {"PlaybackStatus", playbackStatus()},
                                        {"CanGoNext", p.canGoNext()},
                                        {"CanGoPrevious", p.canGoPrevious()},
                                        {"CanPlay", p.canPlay()},
                                        {"CanPause", p.canPlay()},
                                        {"CanSeek", p.canPlay()}});
}

void MprisService::playingChanged(bool) { propertiesChanged(PlayerInterface, {{"PlaybackStatus", playbackStatus()}}); }

void MprisService::playbackFinished() { propertiesChanged(PlayerInterface, {{"PlaybackStatus", playbackStatus()}}); }

MprisRoot::MprisRoot(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

void MprisRoot::Raise() { emit service_->raiseRequested(); }

void MprisRoot::Quit() { emit service_->quitRequested(); }

CantorelInstance::CantorelInstance(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

QString CantorelInstance::musicFolder() const { return qs(service_->session().musicFolder()); }

MprisPlayer::MprisPlayer(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

bool MprisPlayer::canGoNext() const { return service_->session().playback().canGoNext(); }
bool MprisPlayer::canGoPrevious() const { return service_->session().playback().canGoPrevious(); }
bool MprisPlayer::canPlay() const { return service_->session().playback().canPlay(); }

void MprisPlayer::Next() { service_->session().playback().next(); }
void MprisPlayer::Previous() { service_->session().playback().previous(); }
void MprisPlayer::Pause() { service_->session().playback().SetPlaying(false); }
void MprisPlayer::PlayPause() { service_->session().playback().playPause(); }
void MprisPlayer::Stop() { service_->session().playback().stopAndRewind(); }
void MprisPlayer::Play() { service_->session().playback().SetPlaying(true); }

void MprisPlayer::Seek(qlonglong offset)
{
    // Before the start means the start; past the end means the next track.
    qlonglong target = 0;
    if (__builtin_add_overflow(service_->positionMicroseconds(), offset, &target))
        target = offset < 0 ? 0 : std::numeric_limits<qlonglong>::max();
    if (target >= service_->lengthMicroseconds()) {
        Next();
        return;
    }
    service_->seekToMicroseconds(std::max<qlonglong>(target, 0));
}

void MprisPlayer::SetPosition(const QDBusObjectPath& track, qlonglong position)
{
    // Only for the track that plays, and within it: a stale or impossible request is
    // passed over, as the interface says.
    if (track.path() != service_->metadata().value("mpris:trackid").value<QDBusObjectPath>().path() || position < 0 ||
        position > service_->lengthMicroseconds())
        return;
    service_->seekToMicroseconds(position);
}

} // namespace cantorel

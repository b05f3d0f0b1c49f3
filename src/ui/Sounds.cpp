// Embedded sounds through Qt Multimedia when the build has it, else the beep.
#include "ui/Sounds.h"

#include <QApplication>
#include <QFile>
#include <QString>

#ifdef TAVREL_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#endif

namespace {

QString WaveResourcePath(int id)
{
    return QStringLiteral(":/sounds/%1.wav").arg(id);
}

// Without a way to play a wave, only the end of a good transfer is worth a beep.
void PlayWithoutAudio(int id)
{
    if (id == SOUND_TRANSFER_OK) QApplication::beep();
}

#ifdef TAVREL_HAVE_MULTIMEDIA
bool HasAudioOutput()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

// One effect per sound, a child of the application so that it plays on after
// the caller has returned and its wave is loaded only once.
QSoundEffect* EffectFor(int id)
{
    const QString name = QStringLiteral("tavrel-sound-%1").arg(id);
    auto* effect = qApp->findChild<QSoundEffect*>(name, Qt::FindDirectChildrenOnly);
    if (effect) return effect;
    effect = new QSoundEffect(qApp);
    effect->setObjectName(name);
    effect->setSource(QUrl(QStringLiteral("qrc") + WaveResourcePath(id)));
    return effect;
}
#endif

} // namespace

void PlayWaveResource(int id)
{
    if (!qApp || !QFile::exists(WaveResourcePath(id))) return;
#ifdef TAVREL_HAVE_MULTIMEDIA
    if (HasAudioOutput()) {
        EffectFor(id)->play();
        return;
    }
#endif
    PlayWithoutAudio(id);
}

void PlayBeep(int /*kind*/)
{
    if (qApp) QApplication::beep();
}

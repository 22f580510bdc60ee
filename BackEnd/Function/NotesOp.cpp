#include "NotesOp.h"

#include "Failure.h"
#include "GlobalUiOp.h"
#include "Logging.h"
#include "MultiLang.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "ServerConfig.h"
#include "ShopAccountMng.h"
#include "ShownText.h"
#include "StepChain.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

#include <algorithm>

NotesOp::NotesOp(QObject* parent) : QObject(parent), rest(this) {}

void NotesOp::GetVerNotes()
{
    StepChain(registry->Peer<GlobalUiOp>())
        .Call(tr("获取版本信息"), registry->Peer<ShopAccountMng>(), &ShopAccountMng::GetNoteList)
        .KeepWaiting() // until the notes themselves are in
        .Then([this] { RequestNotes(); })
        .Run();
}

void NotesOp::RequestNotes()
{
    const QJsonArray list = registry->Peer<RamDB>()->GetJsonArray(NOTES_LIST);
    const int count = qMin(list.size(), kMaxNotes);
    pending.clear();
    ++generation;
    for (int i = 0; i < count; ++i) {
        RequestNote(list.at(i).toObject());
    }
    // Nothing left to download (an empty list, or only refused addresses): the dialog gets its lists at
    // once instead of a spinner for ever.
    if (AllDone()) {
        Ready();
    }
}

void NotesOp::RequestNote(const QJsonObject& entry)
{
    const QString version = entry.value(QStringLiteral("version")).toString();
    const QString noteUrl = entry.value(QStringLiteral("noteurl")).toString();
    qCDebug(lcUi) << "NotesOp version: " << version << " url: " << noteUrl;
    Note note;
    note.version = version;
    // Notes come from web servers only: anything else (a bare path would read a local file) is refused
    // like a failed download.
    const QUrl url(noteUrl, QUrl::StrictMode);
    if (!ServerConfig::IsWebAddress(url)) {
        qCDebug(lcUi) << "NotesOp refuses the note address" << noteUrl;
        note.content = Failure(ErrNotes, tr("网络错误，无法获取版本信息"))
                           .Error(0)
                           .Detail(QNetworkReply::ProtocolUnknownError)
                           .At(83);
        note.failed = true;
        note.done = true;
        pending.append(note);
        return;
    }
    note.isJson = QFileInfo(url.fileName()).suffix().toUpper() == QLatin1String("JSON") ? 1 : 0;
    ReplyCallbacks callbacks;
    callbacks.rawCallback = [this, current = generation, index = pending.size()](
                                bool ok, QNetworkReply* reply) { NoteFinished(current, index, ok, reply); };
    pending.append(note);
    rest.Get(url.toString(), QJsonObject(), callbacks);
}

void NotesOp::NoteFinished(int noteGeneration, int index, bool ok, QNetworkReply* reply)
{
    if (noteGeneration == generation && index < pending.size()) {
        Note& note = pending[index];
        if (ok) {
            note.content = QString::fromUtf8(reply->readAll());
        } else {
            // A note past its deadline or over the bound says so; any other failure is the network's.
            const int detail = rest.FailureDetail() != 0 ? rest.FailureDetail() : int(reply->error());
            note.content = Failure(ErrNotes, rest.FailureText(tr("网络错误，无法获取版本信息")))
                               .Error(0)
                               .Detail(detail)
                               .At(83);
        }
        note.failed = !ok;
        note.done = true;
    }
    if (AllDone()) {
        Ready();
    }
}

bool NotesOp::AllDone() const
{
    // Whether each note arrived, not whether it says something: an empty note is a finished one.
    return std::all_of(pending.cbegin(), pending.cend(), [](const Note& note) { return note.done; });
}

void NotesOp::Ready()
{
    registry->Peer<GlobalUiOp>()->hideWait();
    emit verListChanged();
    emit verNotesChanged();
    emit versionNotesReady();
}

QStringList NotesOp::verList() const
{
    QStringList versions;
    for (const Note& note : pending) {
        versions << ShownText::Line(note.version);
    }
    return versions;
}

QStringList NotesOp::verNotes() const
{
    QStringList notes;
    for (const Note& note : pending) {
        notes << ShownText::Block(DisplayText(note), ShownText::kNoteChars);
    }
    return notes;
}

QString NotesOp::DisplayText(const Note& note) const
{
    // A failed download shows why it failed, whatever kind of note it was meant to be.
    if (note.isJson == 0 || note.failed) {
        return note.content;
    }
    return JsonNoteText(note.content.toUtf8(), registry->Peer<MultiLang>()->langCode());
}

QString NotesOp::JsonNoteText(const QByteArray& json, const QString& langCode)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error == QJsonParseError::NoError) {
        const QJsonObject byLanguage = document.object();
        for (const QString& key : {langCode, QStringLiteral("en"), QStringLiteral("zh-CN")}) {
            if (byLanguage.contains(key)) {
                return byLanguage.value(key).toString();
            }
        }
    }
    return QObject::tr("无法解析版本信息");
}

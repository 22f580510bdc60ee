#pragma once

#include "RestClient.h"

#include <QObject>
#include <QStringList>
#include <QVector>

class ObjectRegistry;

// Release notes of the newest versions for the notes dialog: the store's note list, then the note text of
// at most five entries, shown in the user's language.
class NotesOp : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList verList READ verList NOTIFY verListChanged)
    Q_PROPERTY(QStringList verNotes READ verNotes NOTIFY verNotesChanged)
public:
    static constexpr int kMaxNotes = 5;

    explicit NotesOp(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    QStringList verList() const;
    QStringList verNotes() const;

    Q_INVOKABLE void GetVerNotes();

    // A note given as JSON by language, in the language of that code (else English, else Chinese).
    static QString JsonNoteText(const QByteArray& json, const QString& langCode);

signals:
    void verListChanged();
    void verNotesChanged();
    void versionNotesReady();

private:
    struct Note
    {
        QString version;
        QString content;
        int isJson = 0;
        bool done = false;
        bool failed = false;
    };

    // The notes of the newest entries of the stored note list, each downloaded on its own.
    void RequestNotes();
    void RequestNote(const QJsonObject& entry);
    void NoteFinished(int generation, int index, bool ok, QNetworkReply* reply);
    bool AllDone() const;
    void Ready();
    QString DisplayText(const Note& note) const;

    // Notes are bounded like the services' answers: in size and in time.
    RestClient rest;
    QVector<Note> pending;
    // Which GetVerNotes the pending notes belong to: a later one's list replaces them, and the answers of
    // the earlier downloads then match no note.
    int generation = 0;
};

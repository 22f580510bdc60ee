#pragma once

#include <QObject>
#include <QStringList>
#include <QVector>

class ObjectRegistry;
class QTranslator;

// Switches the interface language at run time and tells QML to re-read every translated text.
class MultiLang : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList langs READ langs NOTIFY langsChanged)
    Q_PROPERTY(int langIdx READ langIdx WRITE setLangIdx NOTIFY langIdxChanged)
    Q_PROPERTY(QString hook READ hook NOTIFY langChanged)
    Q_PROPERTY(bool isSimpChinese READ isSimpChinese NOTIFY isSimpChineseChanged)
    Q_PROPERTY(QString langCode READ langCode NOTIFY langCodeChanged)
public:
    explicit MultiLang(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    void InitLangs();
    void ApplyLang(int index);

    QStringList langs() const;
    int langIdx() const;
    void setLangIdx(int index);
    QString hook() const { return QString(); }
    bool isSimpChinese() const;
    QString langCode() const;

    // Culture of a language index, shared with the game's argument and its settings reply.
    static QString CodeOf(int index);
    // Language indexes that name a culture of their own: 0 to kCultures - 1.
    static constexpr int kCultures = 5;

signals:
    void langsChanged();
    void langIdxChanged();
    void langChanged();
    void isSimpChineseChanged();
    void langCodeChanged();

private:
    struct Language
    {
        QString name;
        QTranslator* translator;
    };
    void AddLanguage(const QString& name, const QString& catalogue);
    int StoredIndex() const;

    QVector<Language> languages;
    QTranslator* currentTranslator = nullptr;
};

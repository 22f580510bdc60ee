#include "MultiLang.h"

#include "ObjectRegistry.h"
#include "RamDB.h"

#include <QCoreApplication>
#include <QTranslator>

MultiLang::MultiLang(QObject* parent) : QObject(parent) {}

void MultiLang::AddLanguage(const QString& name, const QString& catalogue)
{
    auto* translator = new QTranslator(this);
    translator->load(catalogue);
    languages.append({name, translator});
}

void MultiLang::InitLangs()
{
    AddLanguage(QStringLiteral("English"), QStringLiteral(":/Language/avirolauncher_en.qm"));
    AddLanguage(QStringLiteral("简体中文"), QStringLiteral(":/Language/avirolauncher_zh_cn.qm"));
    // Indexes past the interface's languages up to the last culture are the game's languages and are kept:
    // the interface then shows its source texts. An index of no culture counts as none stored.
    const int stored = StoredIndex();
    ApplyLang(stored >= 0 && stored < kCultures ? stored : 0);
}

int MultiLang::StoredIndex() const
{
    return registry->Peer<RamDB>()->GetInt(MULTI_LANG, 0);
}

void MultiLang::ApplyLang(int index)
{
    if (index < 0 || index >= languages.size()) {
        return;
    }
    if (currentTranslator != nullptr) {
        QCoreApplication::removeTranslator(currentTranslator);
    }
    currentTranslator = languages[index].translator;
    QCoreApplication::installTranslator(currentTranslator);
    registry->Peer<RamDB>()->SetInt(MULTI_LANG, index);
    emit langChanged();
}

QStringList MultiLang::langs() const
{
    QStringList names;
    for (const Language& language : languages) {
        names.append(language.name);
    }
    return names;
}

int MultiLang::langIdx() const
{
    return StoredIndex();
}

void MultiLang::setLangIdx(int index)
{
    if (index == StoredIndex()) {
        return;
    }
    ApplyLang(index);
    emit langIdxChanged();
    emit langCodeChanged();
    emit isSimpChineseChanged();
}

bool MultiLang::isSimpChinese() const
{
    return StoredIndex() == 1;
}

QString MultiLang::langCode() const
{
    return CodeOf(StoredIndex());
}

QString MultiLang::CodeOf(int index)
{
    switch (index) {
    case 1:
        return QStringLiteral("zh-CN");
    case 2:
        return QStringLiteral("zh-Hant");
    case 3:
        return QStringLiteral("ja");
    case 4:
        return QStringLiteral("ko");
    default:
        return QStringLiteral("en");
    }
}

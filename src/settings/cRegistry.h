#pragma once

#include "settings/RegistryStore.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <limits>
#include <memory>
#include <optional>

class AppError;

// The program's gateway to the per-user registry. Set where to look (ClassKey,
// SectionKey, ValueKey) and how to write (ValueType), then read or write Value or
// call one of the key operations. Every operation opens its key, works and lets
// go again; nothing is held between calls, so separate instances never interfere.
//
// Values travel as QVariant: invalid (empty), QString, qint16, qint32 or
// QByteArray. Texts are stored as UTF-8 bytes. Failures raise AppError with the
// numbers below and the source "<program name>.cRegistry" (a binary write of a
// value that is not a byte array raises the bare number).
class cRegistry final
{
public:
    enum ERegistryClassConstants : qint32 {
        HKEY_CLASSES_ROOT = std::numeric_limits<qint32>::min(), // 0x80000000
        HKEY_CURRENT_USER = HKEY_CLASSES_ROOT + 1,              // 0x80000001
    };

    enum ERegistryValueTypes : qint32 {
        REG_SZ = RegistryType::Sz,
        REG_EXPAND_SZ = RegistryType::ExpandSz,
        REG_BINARY = RegistryType::Binary,
        REG_DWORD = RegistryType::Dword,
        REG_DWORD_BIG_ENDIAN = RegistryType::DwordBigEndian,
        REG_MULTI_SZ = RegistryType::MultiSz,
    };

    // Error numbers: a plain one and offsets from the automation error base 0x80040000.
    static constexpr qint64 ErrorRegistryFailure = 26001;
    static constexpr qint64 ErrorSetValue = 0x800469A9;
    static constexpr qint64 ErrorEnumerateSections = 0x800469AA;
    static constexpr qint64 ErrorInvalidAssociationList = 0x800469AC;
    static constexpr qint64 ErrorClassNotDefined = 0x800469AD;

    // Works on the per-user store (or what a test put in its place).
    cRegistry();
    explicit cRegistry(std::shared_ptr<RegistryStore> store);

    bool KeyExists() const;
    bool CreateKey();
    bool DeleteKey();
    bool DeleteValue();

    // Reads ValueKey; a missing key or value gives Default and leaves ValueType as
    // it was, anything found sets ValueType to the type found.
    QVariant Value();
    // Writes ValueKey as ValueType says, creating the key if it is missing.
    void setValue(const QVariant &vValue);

    // Writes made after beginChange() wait for commitChange(), which makes them as
    // one change of the store: all of them, or none. A write with an unusable
    // value raises at once, as it does alone; a change the store refuses raises
    // the error its first write would have raised alone.
    void beginChange();
    void commitChange();

    bool EnumerateValues(QStringList &sKeyNames, qint32 &iKeyCount);
    bool EnumerateSections(QStringList &sSect, qint32 &iSectCount);

    void CreateEXEAssociation(const QString &sExePath, const QString &sClassName,
                              const QString &sClassDescription, const QString &sAssociation,
                              const QString &sOpenMenuText, bool bSupportPrint,
                              const QString &sPrintMenuText, bool bSupportNew,
                              const QString &sNewMenuText, bool bSupportInstall,
                              const QString &sInstallMenuText, qint32 lDefaultIconIndex);
    // vItems: verb name, menu text, command line; again for each further verb.
    void CreateAdditionalEXEAssociations(const QString &sClassName, const QVariantList &vItems);

    qint32 ValueType() const { return m_valueType; }
    void setValueType(qint32 eValueType) { m_valueType = eValueType; }
    qint32 ClassKey() const { return m_classKey; }
    void setClassKey(qint32 eKey) { m_classKey = eKey; }
    QString SectionKey() const { return m_sectionKey; }
    void setSectionKey(const QString &sSectionKey) { m_sectionKey = sSectionKey; }
    QString ValueKey() const { return m_valueKey; }
    void setValueKey(const QString &sValueKey) { m_valueKey = sValueKey; }
    QVariant Default() const { return m_default; }
    void setDefault(const QVariant &vDefault) { m_default = vDefault; }

    // Helpers of the class, public so that they can be tested on their own.
    // The four bytes of lValue in reverse order.
    static qint32 ReverseBytes32(qint32 lValue);
    // %NAME% replaced by the process environment's NAME; an unknown or empty
    // name stays as written.
    static QString ExpandEnvironmentRefs(const QString &sValue);
    // "<program name>.cRegistry", the source of the errors the class raises.
    static QString errorSource();

private:
    AppError error(qint64 number, const QString &description) const;
    AppError setValueError(qint64 number, const QVariant &vValue) const;
    // Sets SectionKey, the default value name and REG_SZ, then writes sText.
    void writeKeyDefault(const QString &sSectionKey, const QString &sText);

    std::shared_ptr<RegistryStore> m_store;
    qint32 m_classKey = 0;
    QString m_sectionKey;
    QString m_valueKey;
    qint32 m_valueType = 0;
    QVariant m_default;
    // Between beginChange() and commitChange(): the writes held back, and how an
    // error names the first of them.
    std::optional<QList<RegistryWrite>> m_heldWrites;
    QString m_firstHeldWrite;
};

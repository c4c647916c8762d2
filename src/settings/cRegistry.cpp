#include "settings/cRegistry.h"

#include "common/AppError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaType>

namespace {

std::optional<RegistryRoot> rootOf(qint32 classKey)
{
    switch (classKey) {
    case cRegistry::HKEY_CLASSES_ROOT:
        return RegistryRoot::ClassesRoot;
    case cRegistry::HKEY_CURRENT_USER:
        return RegistryRoot::CurrentUser;
    default:
        return std::nullopt; // no other root is kept
    }
}

// Stored string bytes without the terminating NUL. A string stored without one
// keeps all its characters; embedded NULs (a multi-string's separators) stay.
QString textOf(const QByteArray &data)
{
    return QString::fromUtf8(data.endsWith('\0') ? data.chopped(1) : data);
}

// A 32-bit value from up to four little-endian bytes; a short value is taken as
// zero-extended and bytes beyond the fourth are ignored.
qint32 dwordOf(const QByteArray &data)
{
    quint32 number = 0;
    for (qsizetype i = qMin<qsizetype>(data.size(), 4) - 1; i >= 0; --i)
        number = number << 8 | quint8(data[i]);
    return qint32(number);
}

QByteArray dwordBytes(qint32 value)
{
    const auto number = quint32(value);
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((number >> (8 * i)) & 0xFF);
    return bytes;
}

// A "%" with a further "%" starting two characters after it marks an
// environment reference, so the text is stored as an expandable string.
bool holdsEnvironmentRef(const QString &text)
{
    const qsizetype first = text.indexOf(u'%');
    return first >= 0 && text.indexOf(u'%', first + 2) >= 0;
}

} // namespace

cRegistry::cRegistry() : m_store(RegistryStore::createDefault()) {}

cRegistry::cRegistry(std::shared_ptr<RegistryStore> store) : m_store(std::move(store)) {}

QString cRegistry::errorSource()
{
    QString program = QCoreApplication::applicationName();
    if (program.isEmpty()) // no application object yet: the executable's own name
        program = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).completeBaseName();
    return program + QStringLiteral(".cRegistry");
}

AppError cRegistry::error(qint64 number, const QString &description) const
{
    return AppError(number, errorSource(), description);
}

AppError cRegistry::setValueError(qint64 number, const QVariant &vValue) const
{
    return error(number, QStringLiteral("Failed to set registry value Key: '")
                             + QString::number(m_classKey) + QStringLiteral("',Section: '")
                             + m_sectionKey + QStringLiteral("',Key: '") + m_valueKey
                             + QStringLiteral("' to value: '") + vValue.toString() + u'\'');
}

bool cRegistry::KeyExists() const
{
    const auto root = rootOf(m_classKey);
    return root && m_store->keyExists(*root, m_sectionKey);
}

bool cRegistry::CreateKey()
{
    const auto root = rootOf(m_classKey);
    if (!root || m_store->createKey(*root, m_sectionKey) != StoreResult::Ok)
        throw error(ErrorRegistryFailure, QStringLiteral("Failed to create registry Key: '") + m_sectionKey);
    return true;
}

bool cRegistry::DeleteKey()
{
    const auto root = rootOf(m_classKey);
    if (!root || m_store->deleteKey(*root, m_sectionKey) != StoreResult::Ok) {
        throw error(ErrorRegistryFailure, QStringLiteral("Failed to delete registry Key: '")
                                              + QString::number(m_classKey)
                                              + QStringLiteral("',Section: '") + m_sectionKey);
    }
    return true;
}

bool cRegistry::DeleteValue()
{
    const auto root = rootOf(m_classKey);
    const StoreResult result = root ? m_store->deleteValue(*root, m_sectionKey, m_valueKey)
                                    : StoreResult::KeyUnavailable;
    if (result == StoreResult::KeyUnavailable) {
        throw error(ErrorRegistryFailure, QStringLiteral("Failed to open key '")
                                              + QString::number(m_classKey)
                                              + QStringLiteral("',Section: '") + m_sectionKey
                                              + QStringLiteral("' for delete access"));
    }
    if (result != StoreResult::Ok) {
        throw error(ErrorRegistryFailure, QStringLiteral("Failed to delete registry Key: '")
                                              + QString::number(m_classKey)
                                              + QStringLiteral("',Section: '") + m_sectionKey
                                              + QStringLiteral("',Key: '") + m_valueKey);
    }
    return true;
}

QVariant cRegistry::Value()
{
    const auto root = rootOf(m_classKey);
    const auto stored = root ? m_store->queryValue(*root, m_sectionKey, m_valueKey) : std::nullopt;
    if (!stored)
        return m_default;
    m_valueType = stored->type;
    switch (stored->type) {
    case REG_SZ:
    case REG_MULTI_SZ:
        return textOf(stored->data);
    case REG_EXPAND_SZ:
        return ExpandEnvironmentRefs(textOf(stored->data));
    case REG_DWORD:
        return QVariant::fromValue<qint32>(dwordOf(stored->data));
    case REG_DWORD_BIG_ENDIAN:
        return QVariant::fromValue<qint32>(ReverseBytes32(dwordOf(stored->data)));
    default:
        return stored->data;
    }
}

void cRegistry::setValue(const QVariant &vValue)
{
    const auto root = rootOf(m_classKey);
    // A held write's key is made with the change it belongs to.
    if (!root || (!m_heldWrites && m_store->createKey(*root, m_sectionKey) != StoreResult::Ok))
        throw setValueError(ErrorRegistryFailure, vValue);

    RegistryValue stored;
    switch (m_valueType) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        // The type written follows the text; REG_EXPAND_SZ asked for alone does not make one.
        const QString text = vValue.toString();
        stored.type = holdsEnvironmentRef(text) ? REG_EXPAND_SZ : REG_SZ;
        stored.data = text.toUtf8().append('\0');
        break;
    }
    case REG_BINARY:
        // The one error of the class that carries nothing but its number.
        if (vValue.metaType().id() != QMetaType::QByteArray)
            throw AppError(ErrorRegistryFailure, QString(), QString());
        // The whole array is stored.
        stored = {REG_BINARY, vValue.toByteArray()};
        break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        const int id = vValue.metaType().id();
        if (id != QMetaType::Short && id != QMetaType::Int)
            return; // only integers have a 32-bit form; anything else is not written
        // Written little-endian as REG_DWORD whichever of the two was asked for.
        stored = {REG_DWORD, dwordBytes(vValue.toInt())};
        break;
    }
    default:
        throw setValueError(ErrorSetValue, vValue);
    }
    if (m_heldWrites) {
        if (m_heldWrites->isEmpty())
            m_firstHeldWrite = setValueError(ErrorSetValue, vValue).description();
        m_heldWrites->append({*root, m_sectionKey, m_valueKey, stored});
        return;
    }
    if (m_store->setValue(*root, m_sectionKey, m_valueKey, stored) != StoreResult::Ok)
        throw setValueError(ErrorSetValue, vValue);
}

void cRegistry::beginChange()
{
    m_heldWrites.emplace();
}

void cRegistry::commitChange()
{
    const QList<RegistryWrite> writes = m_heldWrites.value_or(QList<RegistryWrite>());
    m_heldWrites.reset();
    if (writes.isEmpty())
        return;
    // As a write alone: a key that cannot be opened or made is a registry failure,
    // a value the store refuses a failure to set it.
    const StoreResult result = m_store->setValues(writes);
    if (result == StoreResult::KeyUnavailable)
        throw error(ErrorRegistryFailure, m_firstHeldWrite);
    if (result != StoreResult::Ok)
        throw error(ErrorSetValue, m_firstHeldWrite);
}

bool cRegistry::EnumerateValues(QStringList &sKeyNames, qint32 &iKeyCount)
{
    sKeyNames.clear();
    iKeyCount = 0;
    const auto root = rootOf(m_classKey);
    const auto names = root ? m_store->valueNames(*root, m_sectionKey) : std::nullopt;
    if (names) {
        sKeyNames = *names;
        iKeyCount = qint32(sKeyNames.size());
    }
    return true;
}

bool cRegistry::EnumerateSections(QStringList &sSect, qint32 &iSectCount)
{
    // A key name is taken into a buffer of this many characters, its NUL included.
    constexpr qsizetype NameBuffer = 255;
    sSect.clear();
    iSectCount = 0;
    try {
        const auto root = rootOf(m_classKey);
        const auto names = root ? m_store->subkeyNames(*root, m_sectionKey) : std::nullopt;
        if (!names)
            return true;
        for (const QString &name : *names) {
            if (name.size() >= NameBuffer)
                break; // this name and its NUL do not fit: the enumeration ends here
            const qsizetype nul = name.indexOf(QChar(u'\0'));
            sSect.append(nul < 0 ? name : name.first(nul));
            ++iSectCount;
        }
    } catch (const AppError &failure) {
        throw error(ErrorEnumerateSections, failure.description());
    } catch (const std::exception &failure) {
        throw error(ErrorEnumerateSections, QString::fromLocal8Bit(failure.what()));
    }
    return true;
}

void cRegistry::writeKeyDefault(const QString &sSectionKey, const QString &sText)
{
    m_sectionKey = sSectionKey;
    m_valueKey.clear();
    m_valueType = REG_SZ;
    setValue(sText);
}

void cRegistry::CreateEXEAssociation(const QString &sExePath, const QString &sClassName,
                                     const QString &sClassDescription, const QString &sAssociation,
                                     const QString &sOpenMenuText, bool bSupportPrint,
                                     const QString &sPrintMenuText, bool bSupportNew,
                                     const QString &sNewMenuText, bool bSupportInstall,
                                     const QString &sInstallMenuText, qint32 lDefaultIconIndex)
{
    QString exePath = sExePath.trimmed();
    if (!exePath.startsWith(u'"'))
        exePath.prepend(u'"');
    if (!exePath.endsWith(u'"'))
        exePath.append(u'"');

    m_classKey = HKEY_CLASSES_ROOT;
    writeKeyDefault(u'.' + sAssociation, sClassName);

    writeKeyDefault(sClassName, sClassDescription);
    m_valueKey = QStringLiteral("EditFlags");
    m_valueType = REG_BINARY;
    setValue(QByteArray("\0\0\1\0\0", 5));
    m_valueType = REG_SZ;

    const auto or_ = [](const QString &text, const QString &fallback) {
        return text.isEmpty() ? fallback : text;
    };
    const QString shell = sClassName + QStringLiteral("\\shell\\");
    writeKeyDefault(shell + QStringLiteral("open"), or_(sOpenMenuText, QStringLiteral("&Open")));
    writeKeyDefault(shell + QStringLiteral("open\\command"), exePath + QStringLiteral(" \"%1\""));
    if (bSupportPrint) {
        writeKeyDefault(shell + QStringLiteral("print"), or_(sPrintMenuText, QStringLiteral("&Print")));
        writeKeyDefault(shell + QStringLiteral("print\\command"), exePath + QStringLiteral(" /p \"%1\""));
    }
    if (bSupportInstall) {
        writeKeyDefault(shell + QStringLiteral("add"),
                        or_(sInstallMenuText, QStringLiteral("&Install ") + sAssociation));
        writeKeyDefault(shell + QStringLiteral("add\\command"), exePath + QStringLiteral(" /a \"%1\""));
    }
    if (bSupportNew) {
        writeKeyDefault(shell + QStringLiteral("new"), or_(sNewMenuText, QStringLiteral("&New")));
        writeKeyDefault(shell + QStringLiteral("new\\command"), exePath + QStringLiteral(" /n \"%1\""));
    }
    if (lDefaultIconIndex >= 0) {
        writeKeyDefault(sClassName + QStringLiteral("\\DefaultIcon"),
                        exePath + u',' + QString::number(lDefaultIconIndex));
    }
}

void cRegistry::CreateAdditionalEXEAssociations(const QString &sClassName, const QVariantList &vItems)
{
    if (vItems.size() % 3 != 0) {
        throw error(ErrorInvalidAssociationList,
                    QStringLiteral("Invalid parameter list passed to CreateAdditionalEXEAssociations"
                                   " - expected Name/Text/Command"));
    }
    m_sectionKey = sClassName;
    if (!KeyExists()) {
        throw error(ErrorClassNotDefined,
                    QStringLiteral("Error - attempt to create additional associations before class defined."));
    }
    for (qsizetype i = 0; i < vItems.size(); i += 3) {
        const QString verbKey = sClassName + QStringLiteral("\\shell\\") + vItems[i].toString();
        // Each write stands alone: one that fails does not stop the others.
        try {
            writeKeyDefault(verbKey, vItems[i + 1].toString());
        } catch (const AppError &) {
        }
        try {
            writeKeyDefault(verbKey + QStringLiteral("\\command"), vItems[i + 2].toString());
        } catch (const AppError &) {
        }
    }
}

qint32 cRegistry::ReverseBytes32(qint32 lValue)
{
    const auto number = quint32(lValue);
    return qint32((number >> 24) | ((number >> 8) & 0xFF00u) | ((number << 8) & 0xFF0000u)
                  | (number << 24));
}

QString cRegistry::ExpandEnvironmentRefs(const QString &sValue)
{
    QString expanded;
    qsizetype pos = 0;
    while (pos < sValue.size()) {
        const qsizetype open = sValue.indexOf(u'%', pos);
        const qsizetype close = open < 0 ? -1 : sValue.indexOf(u'%', open + 1);
        if (close < 0) {
            expanded += QStringView(sValue).sliced(pos);
            break;
        }
        expanded += QStringView(sValue).sliced(pos, open - pos);
        const QString name = sValue.mid(open + 1, close - open - 1);
        if (!name.isEmpty() && qEnvironmentVariableIsSet(name.toLocal8Bit().constData())) {
            expanded += qEnvironmentVariable(name.toLocal8Bit().constData());
            pos = close + 1;
        } else {
            // Unknown: keep "%NAME" and let the closing "%" start the next reference.
            expanded += u'%' + name;
            pos = close;
        }
    }
    return expanded;
}

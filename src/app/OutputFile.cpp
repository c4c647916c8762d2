#include "app/OutputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

OutputFile::~OutputFile()
{
    // A run that went before it began leaves no file of its own behind.
    if (m_created && !m_truncated) {
        m_file.close();
        QFile::remove(m_name);
    }
}

bool OutputFile::open(const QString &path)
{
    m_name = path;
    // Only a file made here is removed when the run cannot start. One that is
    // there already is opened without emptying it (QFile empties a file opened
    // only to write), which waits for truncate().
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    m_created = fd >= 0;
    if (!m_created && errno == EEXIST)
        fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(qt_error_string(errno));
        return false;
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        fail(m_file.errorString());
        return false;
    }
    return true;
}

bool OutputFile::openStandardOutput()
{
    m_name = QStringLiteral("standard output");
    // What standard output already holds is the caller's to keep or empty.
    m_truncated = true;
    if (!m_file.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        fail(m_file.errorString());
        return false;
    }
    return true;
}

bool OutputFile::truncate()
{
    if (m_truncated || !m_file.isOpen())
        return true;
    m_truncated = true;
    if (m_file.isSequential() || m_file.size() == 0 || m_file.resize(0))
        return true;
    fail(m_file.errorString());
    return false;
}

void OutputFile::write(const QByteArray &bytes)
{
    if (failed() || !m_file.isOpen())
        return;
    if (m_file.write(bytes) != bytes.size())
        fail(m_file.errorString());
}

bool OutputFile::close()
{
    if (m_file.isOpen()) {
        if (!failed() && !m_file.flush())
            fail(m_file.errorString());
        m_file.close();
        if (!failed() && m_file.error() != QFileDevice::NoError)
            fail(m_file.errorString());
    }
    return !failed();
}

void OutputFile::fail(const QString &reason)
{
    if (!failed())
        m_error = QStringLiteral("cannot write ") + m_name + QStringLiteral(": ") + reason;
}

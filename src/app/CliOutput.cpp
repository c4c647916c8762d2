#include "app/CliOutput.h"

CliOutput::CliOutput(CliOptions::Format format)
    : m_writer(ResultWriter::create(format == CliOptions::Format::JsonLines ? ResultWriter::Format::JsonLines
                                                                            : ResultWriter::Format::TextLines))
{
}

CliOutput::~CliOutput()
{
}

bool CliOutput::open(const QString &path)
{
    return path.isEmpty() ? m_file.openStandardOutput() : m_file.open(path);
}

void CliOutput::write(const QByteArray &line)
{
    if (!line.isEmpty())
        m_file.write(line);
}

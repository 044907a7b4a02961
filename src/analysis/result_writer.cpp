// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/result_writer.h"

#include "config/notifier.h"

namespace ktx {

ResultWriter::ResultWriter(std::string target, Notifier& notifier)
    : m_file(std::move(target)), m_notifier(notifier) {}

ResultWriter::~ResultWriter() {
    Discard();
}

bool ResultWriter::Report(const FileError& error) {
    ShowErrorMsgText(m_notifier, error.Message(), error.Text(), 0);
    return false;
}

bool ResultWriter::Begin(const std::vector<std::string>& sources, const std::uint8_t* header,
                         std::size_t size) {
    if (!m_file.Begin(sources)) {
        return Report(m_file.Error());
    }
    m_out = std::make_unique<BlockWriter>(m_file.TempPath());
    if (!m_out->IsOpen()) {
        const int err = m_out->Errno();
        m_file.Fail(err);
        m_out.reset();
        return Report(m_file.Error());
    }
    m_out->Write(header, size);
    return true;
}

bool ResultWriter::Commit() {
    if (!m_out) {
        return false;
    }
    const bool written = m_out->Close();
    const int err = m_out->Errno();
    m_out.reset();
    if (!written) {
        m_file.Fail(err);
        return Report(m_file.Error());
    }
    if (!m_file.Commit()) {
        return Report(m_file.Error());
    }
    return true;
}

void ResultWriter::Discard() {
    if (m_out) {
        m_out->Close();
        m_out.reset();
    }
    m_file.Discard();
}

}  // namespace ktx

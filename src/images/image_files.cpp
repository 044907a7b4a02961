// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/image_files.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace ktx {

namespace {

constexpr std::size_t kMaxCommentColumn = 80;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string WithExtension(const std::string& name, const std::string& ext) {
    const QFileInfo info(QString::fromStdString(name));
    const QString path = info.path() == QStringLiteral(".") && !name.starts_with("./")
                             ? QString()
                             : info.path() + QLatin1Char('/');
    return (path + info.completeBaseName() + QString::fromStdString(ext)).toStdString();
}

}  // namespace

std::string CommentFileOf(const std::string& picture) {
    return WithExtension(picture, ".dat");
}

bool ReadCommentLines(const std::string& commentFile, std::vector<std::string>& lines) {
    FileError error;
    std::FILE* f = OpenSourceFile(commentFile, error);
    if (f == nullptr) {
        return false;
    }
    lines.clear();
    std::string line;
    int c = 0;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

bool WriteCommentLines(const std::string& commentFile, const std::vector<std::string>& lines,
                       FileError& error) {
    SafeFile out(commentFile);
    if (!out.Begin()) {
        error = out.Error();
        return false;
    }
    std::FILE* f = std::fopen(out.TempPath().c_str(), "wb");
    bool ok = f != nullptr;
    for (const std::string& line : lines) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size() &&
             std::fputc('\n', f) != EOF;
    }
    ok = (f != nullptr && std::fclose(f) == 0) && ok;
    if (!ok) {
        out.Fail(errno != 0 ? errno : EIO);
        error = out.Error();
        return false;
    }
    if (!out.Commit()) {
        error = out.Error();
        return false;
    }
    return true;
}

bool IsTempPicture(const std::string& picture, const std::string& tempPicture) {
    return Lower(WithExtension(picture, ".bmp")) == Lower(tempPicture);
}

std::vector<PictureFileRow> ListPictureFiles(const std::string& folder) {
    std::vector<PictureFileRow> rows;
    const QDir dir(QString::fromStdString(folder));
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files) {
        PictureFileRow row;
        row.name = file.fileName().toStdString();
        std::vector<std::string> lines;
        if (ReadCommentLines(CommentFileOf(file.filePath().toStdString()), lines)) {
            row.comment =
                lines.empty() ? std::string() : lines.front().substr(0, kMaxCommentColumn);
        } else {
            row.comment = kNoComment;
        }
        row.time = file.lastModified().toString(QStringLiteral("dd.MM.yyyy hh:mm")).toStdString();
        rows.push_back(std::move(row));
    }
    if (rows.empty()) {
        rows.emplace_back();
    }
    return rows;
}

QSize FitClientSize(QSize client, int commentHeight, double aspectRatio) {
    if (aspectRatio <= 0) {
        return client;
    }
    const int h = client.height() - commentHeight;
    if (h * aspectRatio < client.width()) {
        return {static_cast<int>(std::lround(h * aspectRatio)), client.height()};
    }
    return {client.width(),
            static_cast<int>(std::lround(client.width() / aspectRatio)) + commentHeight};
}

}  // namespace ktx

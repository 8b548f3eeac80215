#include "mp3plyr/errors.h"

#include <cerrno>
#include <cstring>

namespace pt4 {

namespace {

// The cause of a file failure in words a listener understands; empty where the text itself says
// what happened (a station's or the sound server's own texts).
std::string FileCause(TErrorKind kind, int systemError, const std::string& text)
{
    switch (kind) {
    case TErrorKind::Open:
        switch (systemError) {
        case 0: return {};
        case ENOENT:
        case ENOTDIR: return "ファイルが見つかりません。";
        case EACCES:
        case EPERM: return "ファイルを読む権限がありません。";
        case EISDIR: return "ファイルではなくフォルダです。";
        default: return "ファイルを読み込めません。";
        }
    case TErrorKind::Input: return systemError != 0 ? "ファイルを読み込めません。" : std::string();
    case TErrorKind::Format:
        return text == kUnknownFormat ? "MPEG オーディオのファイルではありません。" : std::string();
    case TErrorKind::Device:
    case TErrorKind::Network:
    case TErrorKind::Internal: break;
    }
    return {};
}

} // namespace

bool TMP3PlayError::NotFound() const
{
    if (Kind != TErrorKind::Open || !Error)
        return false;
    try {
        std::rethrow_exception(Error);
    } catch (const EMP3Error& e) {
        return e.SystemError() == ENOENT || e.SystemError() == ENOTDIR;
    } catch (...) {
        return false;
    }
}

std::string TMP3PlayError::ShownText() const
{
    return Detail.empty() ? Text : Text + "\n" + Detail;
}

TMP3PlayError DescribeError(const std::exception_ptr& error, uint64_t id, std::string location)
{
    TMP3PlayError record;
    record.Id = id;
    record.Location = std::move(location);
    record.Error = error;
    if (!error)
        return record;
    try {
        std::rethrow_exception(error);
    } catch (const EFileOpenError& e) {
        record.Kind = e.Kind();
        record.Text = e.what();
        record.Reason = e.Reason();
        record.Detail = FileCause(e.Kind(), e.SystemError(), record.Text);
        if (record.Location.empty())
            record.Location = e.FileName();
    } catch (const EMP3Error& e) {
        record.Kind = e.Kind();
        record.Text = e.what();
        record.Reason = e.Reason();
        record.Detail = FileCause(e.Kind(), e.SystemError(), record.Text);
    } catch (const std::exception& e) {
        record.Text = e.what();
    } catch (...) {
        record.Text = "unknown exception";
    }
    return record;
}

} // namespace pt4

#include "vsp/VspDatFile.h"

#include <QFile>
#include <algorithm>

#include "platform/AtomicFile.h"
#include "protocol/DecimalText.h"

namespace {

constexpr int kFieldsPerRecord = 13;
constexpr qsizetype kLineEndLength = 2;  // CR LF, skipped unread

// Text fields are space-delimited on disk: a space or line end inside one would shift every
// field after it, so they are left out.
QByteArray TextField(const QString& text) {
    QByteArray bytes = text.toLatin1();
    bytes.removeIf([](char c) { return c == ' ' || c == '\r' || c == '\n'; });
    return bytes;
}

void AppendRecord(QByteArray& out, const VspPortRecord& r) {
    const auto field = [&out](const QByteArray& text) { out += text + ' '; };
    const auto number = [&field](int64_t value) { field(QByteArray::number(value)); };
    field(TextField(r.portId));
    field(TextField(r.portName));
    field(QByteArray::number(r.remoteIp) + 'l');
    number(r.remotePort);
    number(r.protocol);
    number(r.connectAtStart);
    field(TextField(r.status));
    number(r.clientMode);
    number(r.enableVcom);
    number(static_cast<int32_t>(r.maxPacketSize));  // written signed, read back signed
    field(TextField(r.treeName));
    field(TextField(r.remoteIpText));
    field(TextField(r.remotePortText));
    out += "\r\n";
}

// Reads space-terminated fields; a field that runs into the end of the data is incomplete.
class FieldReader {
  public:
    FieldReader(QByteArrayView bytes, qsizetype pos) : bytes_(bytes), pos_(pos) {}

    bool Next(QByteArrayView& field) {
        for (qsizetype end = pos_; end < bytes_.size(); ++end) {
            if (bytes_[end] != ' ') continue;
            field = bytes_.sliced(pos_, end - pos_);
            pos_ = end + 1;
            return true;
        }
        return false;
    }
    void Skip(qsizetype count) { pos_ = std::min(pos_ + count, bytes_.size()); }

  private:
    QByteArrayView bytes_;
    qsizetype pos_;
};

bool ReadRecord(FieldReader& reader, VspPortRecord& r) {
    QByteArrayView f[kFieldsPerRecord];
    for (auto& field : f) {
        if (!reader.Next(field)) return false;
    }
    reader.Skip(kLineEndLength);
    const auto text = [](QByteArrayView v) { return QString::fromLatin1(v); };
    r.portId = text(f[0]);
    r.portName = text(f[1]);
    r.remoteIp = LeadingUInt32(f[2]);
    r.remotePort = static_cast<uint16_t>(LeadingInt32(f[3]));
    r.protocol = static_cast<uint8_t>(LeadingInt32(f[4]));
    r.connectAtStart = LeadingInt32(f[5]);
    r.status = text(f[6]);
    r.clientMode = LeadingInt32(f[7]);
    r.enableVcom = LeadingInt32(f[8]);
    r.maxPacketSize = static_cast<uint32_t>(LeadingInt32(f[9]));
    r.treeName = text(f[10]);
    r.remoteIpText = text(f[11]);
    r.remotePortText = text(f[12]);
    return true;
}

}  // namespace

QByteArray EncodeVspFile(const VspPortRecord* records, int count) {
    QByteArray out = QByteArray::number(count) + " \r\n";
    for (int i = 0; i < count; ++i) AppendRecord(out, records[i]);
    return out;
}

VspFileContents DecodeVspFile(QByteArrayView bytes) {
    VspFileContents contents;
    bytes = bytes.first(std::min(bytes.size(), kVspFileMaxBytes));
    FieldReader reader(bytes, 0);
    QByteArrayView countField;
    if (!reader.Next(countField)) return contents;
    contents.announced = LeadingInt32(countField);
    reader.Skip(kLineEndLength);
    const int wanted = std::clamp(contents.announced, 0, kVspMaxPorts);
    for (int r = 0; r < wanted; ++r) {
        VspPortRecord record;
        if (!ReadRecord(reader, record)) break;
        contents.records.push_back(std::move(record));
    }
    return contents;
}

void CVspDatFile::Load(const QString& path) {
    records_.fill(VspPortRecord{});
    portCount_ = 0;
    tableLoaded_ = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const VspFileContents contents = DecodeVspFile(file.read(kVspFileMaxBytes));
    std::copy(contents.records.begin(), contents.records.end(), records_.begin());
    portCount_ = static_cast<uint32_t>(contents.records.size());
    tableLoaded_ = portCount_ > 0;
}

bool CVspDatFile::Save(const std::vector<VspPortRecord>& records, UserPrompts& prompts,
                       const QString& path) {
    const int count = std::min(int(records.size()), kVspMaxPorts);
    if (WriteFileAtomically(path, EncodeVspFile(records.data(), count))) return true;
    prompts.Inform(QString::fromLatin1(kVspSaveFailedText));
    return false;
}

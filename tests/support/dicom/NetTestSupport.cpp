#include "tests/support/dicom/NetTestSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "dicom/CDicomElementList.h"
#include "dicom/DicomDictionary.h"
#include "platform/base/codepage.h"
#include "platform/base/memoryapi.h"
#include "tests/support/TempDir.h"

namespace quiva::test {

const char* const kSecondaryCaptureUid = "1.2.840.10008.5.1.4.1.1.7";
const char* const kExplicitLittleUid = "1.2.840.10008.1.2.1";
const char* const kJpegBaselineUid = "1.2.840.10008.1.2.4.50";

void Put16(std::vector<uint8_t>& v, unsigned x)
{
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}
void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    Put16(v, x >> 16);
    Put16(v, x & 0xFFFF);
}
void PutItem(std::vector<uint8_t>& v, uint8_t type, const std::vector<uint8_t>& value)
{
    v.push_back(type);
    v.push_back(0);
    Put16(v, static_cast<unsigned>(value.size()));
    v.insert(v.end(), value.begin(), value.end());
}
void PutItem(std::vector<uint8_t>& v, uint8_t type, const std::string& value)
{
    PutItem(v, type, std::vector<uint8_t>(value.begin(), value.end()));
}
void SetLength(std::vector<uint8_t>& pdu)
{
    uint32_t n = static_cast<uint32_t>(pdu.size() - 6);
    pdu[2] = n >> 24;
    pdu[3] = n >> 16;
    pdu[4] = n >> 8;
    pdu[5] = n;
}

namespace {

// One implicit VR little endian element.
void PutImplicit(std::vector<uint8_t>& v, uint16_t element, const std::vector<uint8_t>& value)
{
    const uint8_t h[8] = {0, 0, static_cast<uint8_t>(element), static_cast<uint8_t>(element >> 8),
                          static_cast<uint8_t>(value.size()), static_cast<uint8_t>(value.size() >> 8), 0, 0};
    v.insert(v.end(), h, h + 8);
    v.insert(v.end(), value.begin(), value.end());
}
std::vector<uint8_t> Le16(uint16_t x) { return {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8)}; }

}  // namespace

std::vector<uint8_t> MakeSecondaryCapture(const std::string& sopInstanceUid, int rows, int columns, int samples)
{
    CDicomElementList list;
    std::wstring instance = quiva::Utf8ToWide(sopInstanceUid);
    std::wstring sc = quiva::Utf8ToWide(kSecondaryCaptureUid);
    list.SetString(DICOM_TAG(0x0002, 0x0002), sc.c_str(), DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0002, 0x0003), instance.c_str(), DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0002, 0x0010), L"1.2.840.10008.1.2.1", DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0002, 0x0012), L"1.2.999.424242.3.11.1.0", DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0008, 0x0016), sc.c_str(), DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0008, 0x0018), instance.c_str(), DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0008, 0x0060), L"SC", DICOM_VR_CS);
    list.SetString(DICOM_TAG(0x0010, 0x0010), L"TEST^PATIENT", DICOM_VR_PN);
    list.SetString(DICOM_TAG(0x0010, 0x0020), L"12345", DICOM_VR_LO);
    list.SetString(DICOM_TAG(0x0020, 0x000D), L"1.2.999.424242.1.1", DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0020, 0x000E), L"1.2.999.424242.1.2", DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0028, 0x0002), std::to_wstring(samples).c_str(), DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0028, 0x0004), samples == 3 ? L"RGB" : L"MONOCHROME2", DICOM_VR_CS);
    if (samples == 3)
        list.SetString(DICOM_TAG(0x0028, 0x0006), L"0", DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0028, 0x0010), std::to_wstring(rows).c_str(), DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0028, 0x0011), std::to_wstring(columns).c_str(), DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0028, 0x0100), L"8", DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0028, 0x0101), L"8", DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0028, 0x0102), L"7", DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0028, 0x0103), L"0", DICOM_VR_US);
    std::vector<uint8_t> pixels(static_cast<size_t>(rows) * columns * samples);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 31 + i / 7);
    list.SetBytes(DICOM_TAG(0x7FE0, 0x0010), pixels.data(), static_cast<DWORD>(pixels.size()), DICOM_VR_OB);
    list.GetCodingState().preamble = 1;
    list.GetCodingState().dicmPrefix = 1;
    DWORD length = 0;
    BYTE* bytes = list.Encode(&length);
    std::vector<uint8_t> out;
    if (bytes) {
        out.assign(bytes, bytes + length);
        VirtualFree(bytes, 0, MEM_RELEASE);
    }
    return out;
}

std::vector<uint8_t> AssociateAccept(uint8_t result, const std::string& transferSyntax, uint32_t maxPdu)
{
    std::vector<uint8_t> pdu{2, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    std::string titles = "PACS            HRBIMAGE        ";
    pdu.insert(pdu.end(), titles.begin(), titles.end());
    pdu.resize(74, 0);
    PutItem(pdu, 0x10, "1.2.840.10008.3.1.1.1");
    std::string pc{1, 0, static_cast<char>(result), 0};
    std::vector<uint8_t> ts;
    PutItem(ts, 0x40, transferSyntax);
    pc.append(ts.begin(), ts.end());
    PutItem(pdu, 0x21, pc);
    std::vector<uint8_t> user;
    if (maxPdu) {
        std::vector<uint8_t> m;
        Put32(m, maxPdu);
        PutItem(user, 0x51, std::string(m.begin(), m.end()));
    }
    PutItem(user, 0x52, "1.2.3.4.5");
    PutItem(pdu, 0x50, std::string(user.begin(), user.end()));
    SetLength(pdu);
    return pdu;
}

std::vector<uint8_t> StoreResponse(uint16_t messageId, uint16_t status, bool withCommandField)
{
    std::vector<uint8_t> body;
    std::string sc = kSecondaryCaptureUid;
    sc.push_back('\0');
    PutImplicit(body, 0x0002, std::vector<uint8_t>(sc.begin(), sc.end()));
    if (withCommandField)
        PutImplicit(body, 0x0100, Le16(0x8001));
    PutImplicit(body, 0x0120, Le16(messageId));
    PutImplicit(body, 0x0800, Le16(0x0101));
    PutImplicit(body, 0x0900, Le16(status));
    std::vector<uint8_t> out;
    uint32_t n = static_cast<uint32_t>(body.size());
    PutImplicit(out, 0x0000, {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), 0, 0});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> PData(uint8_t context, uint8_t control, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> pdu{4, 0, 0, 0, 0, 0};
    Put32(pdu, static_cast<uint32_t>(data.size() + 2));
    pdu.push_back(context);
    pdu.push_back(control);
    pdu.insert(pdu.end(), data.begin(), data.end());
    SetLength(pdu);
    return pdu;
}

std::vector<uint8_t> Abort(uint8_t source, uint8_t reason) { return {7, 0, 0, 0, 0, 4, 0, 0, source, reason}; }
std::vector<uint8_t> ReleaseReply() { return {6, 0, 0, 0, 0, 4, 0, 0, 0, 0}; }
std::vector<uint8_t> ReleaseRequest() { return {5, 0, 0, 0, 0, 4, 0, 0, 0, 0}; }
std::vector<uint8_t> Reject(uint8_t result, uint8_t source, uint8_t reason)
{
    return {3, 0, 0, 0, 0, 4, 0, result, source, reason};
}

std::vector<uint8_t> ReadMessage(PeerConnection& c, bool* commandBit, std::vector<size_t>* pduDataSizes)
{
    std::vector<uint8_t> message;
    for (int i = 0; i < 100000; ++i) {
        std::vector<uint8_t> pdu = c.ReadPdu();
        if (pdu.size() < 12 || pdu[0] != 4)
            return {};
        size_t pos = 6;
        bool last = false;
        size_t sizeInPdu = 0;
        while (pos + 6 <= pdu.size()) {
            uint32_t n = (uint32_t(pdu[pos]) << 24) | (uint32_t(pdu[pos + 1]) << 16) | (uint32_t(pdu[pos + 2]) << 8) | pdu[pos + 3];
            if (n < 2 || pos + 4 + n > pdu.size())
                return {};
            if (commandBit)
                *commandBit = pdu[pos + 5] & 1;
            last = pdu[pos + 5] & 2;
            message.insert(message.end(), pdu.begin() + static_cast<long>(pos) + 6, pdu.begin() + static_cast<long>(pos + 4 + n));
            sizeInPdu += n - 2;
            pos += 4 + n;
        }
        if (pduDataSizes)
            pduDataSizes->push_back(sizeInPdu);
        if (last)
            return message;
    }
    return {};
}

std::string ProposedTransferSyntax(const std::vector<uint8_t>& request)
{
    // Items after the fixed part of the PDU; sub-items of a presentation context after its id.
    auto item = [&](size_t at, uint8_t* type, size_t* length) {
        if (at + 4 > request.size())
            return false;
        *type = request[at];
        *length = (size_t(request[at + 2]) << 8) | request[at + 3];
        return at + 4 + *length <= request.size();
    };
    uint8_t type = 0;
    size_t length = 0;
    for (size_t at = 74; item(at, &type, &length); at += 4 + length) {
        if (type != 0x20)
            continue;
        const size_t end = at + 4 + length;
        uint8_t subType = 0;
        size_t subLength = 0;
        for (size_t sub = at + 8; sub < end && item(sub, &subType, &subLength); sub += 4 + subLength)
            if (subType == 0x40) {
                std::string syntax(request.begin() + static_cast<long>(sub + 4), request.begin() + static_cast<long>(sub + 4 + subLength));
                while (!syntax.empty() && syntax.back() == '\0')
                    syntax.pop_back();
                return syntax;
            }
    }
    return std::string();
}

std::vector<uint8_t> StoreOne(PeerConnection& c)
{
    const std::string syntax = ProposedTransferSyntax(c.ReadPdu());
    if (syntax.empty())
        return {};
    c.Write(AssociateAccept(0, syntax, 16384));
    std::vector<uint8_t> command = ReadMessage(c);
    std::vector<uint8_t> data = command.empty() ? std::vector<uint8_t>() : ReadMessage(c);
    if (data.empty())
        return {};
    c.Write(PData(1, 3, StoreResponse(MessageIdOf(command), 0)));
    std::vector<uint8_t> release = c.ReadPdu();
    if (release.size() == 10 && release[0] == 5)
        c.Write(ReleaseReply());
    return data;
}

void DropInTheMiddle(PeerConnection& c, bool reset)
{
    const std::string syntax = ProposedTransferSyntax(c.ReadPdu());
    if (syntax.empty())
        return;
    c.Write(AssociateAccept(0, syntax, 16384));
    if (ReadMessage(c).empty() || c.ReadPdu().empty())
        return;
    if (reset)
        return c.Reset();
    c.Write(Abort(0, 0));
    c.Close();
}

std::vector<std::vector<uint8_t>> RecordedAnswers(const std::string& path)
{
    const std::string bytes = ReadAll(path);
    if (bytes.size() < 4)
        return {};
    const size_t accept = uint8_t(bytes[0]) | uint8_t(bytes[1]) << 8, store = uint8_t(bytes[2]) | uint8_t(bytes[3]) << 8;
    if (4 + accept + store >= bytes.size())
        return {};
    const auto answer = [&](size_t from, size_t to) { return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + to); };
    return {answer(4, 4 + accept), answer(4 + accept, 4 + accept + store), answer(4 + accept + store, bytes.size())};
}

void PlayAnswers(PeerConnection& c, const std::vector<std::vector<uint8_t>>& answers)
{
    if (answers.size() != 3 || c.ReadPdu().empty())
        return;
    c.Write(answers[0]);
    if (ReadMessage(c).empty() || ReadMessage(c).empty())
        return;
    c.Write(answers[1]);
    const std::vector<uint8_t> next = c.ReadPdu(3000);
    if (next.size() == 10 && next[0] == 5)
        c.Write(answers[2]);
}

uint16_t MessageIdOf(const std::vector<uint8_t>& command)
{
    for (size_t pos = 0; pos + 8 <= command.size();) {
        uint16_t element = static_cast<uint16_t>(command[pos + 2] | (command[pos + 3] << 8));
        uint32_t n = command[pos + 4] | (command[pos + 5] << 8) | (uint32_t(command[pos + 6]) << 16) | (uint32_t(command[pos + 7]) << 24);
        if (element == 0x0110 && n == 2 && pos + 10 <= command.size())
            return static_cast<uint16_t>(command[pos + 8] | (command[pos + 9] << 8));
        pos += 8 + n;
    }
    return 0;
}

Storescp::Storescp(const std::string& folder, const std::vector<std::string>& options)
{
    m_port = UnusedPort();
    std::vector<std::string> args{"storescp", "--output-directory", folder, "--aetitle", "PACS"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(std::to_string(m_port));
    m_pid = ::fork();
    if (m_pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        FILE* quiet = std::freopen("/dev/null", "w", stdout);
        (void)quiet;
        ::execvp("storescp", argv.data());
        ::_exit(127);
    }
    // Ready when the port takes a connection (at most 10 s).
    for (int i = 0; i < 200 && m_pid > 0; ++i) {
        int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(m_port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
        ::close(s);
        if (ok) {
            m_ready = true;
            break;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Storescp::~Storescp()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

}  // namespace quiva::test

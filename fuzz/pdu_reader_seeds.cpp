// Writes the seed corpus of the PDU reader harness: the PDUs a PACS answers with, each behind
// the harness's chunk-size byte.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/bytes.h"

namespace {

using Bytes = std::vector<unsigned char>;

using quiva::AppendBE16;
using quiva::AppendBE32;
Bytes Item(unsigned char type, const Bytes& value)
{
    Bytes v{type, 0};
    AppendBE16(v, static_cast<uint16_t>(value.size()));
    v.insert(v.end(), value.begin(), value.end());
    return v;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Pdu(unsigned char type, const Bytes& body)
{
    Bytes v{type, 0};
    AppendBE32(v, static_cast<uint32_t>(body.size()));
    v.insert(v.end(), body.begin(), body.end());
    return v;
}
Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// One implicit VR little endian element of group 0000.
Bytes Command(unsigned element, const Bytes& value)
{
    Bytes v{0, 0, static_cast<unsigned char>(element), static_cast<unsigned char>(element >> 8)};
    unsigned n = static_cast<unsigned>(value.size());
    Bytes len{static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8), 0, 0};
    return v + len + value;
}
Bytes PData(unsigned char context, unsigned char control, const Bytes& data)
{
    Bytes pdv;
    AppendBE32(pdv, static_cast<uint32_t>(data.size() + 2));
    return Pdu(4, pdv + Bytes{context, control} + data);
}

bool Save(const std::string& folder, const char* name, unsigned char chunk, const Bytes& bytes)
{
    FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    if (!f)
        return false;
    Bytes all = Bytes{chunk} + bytes;
    bool ok = std::fwrite(all.data(), 1, all.size(), f) == all.size();
    std::fclose(f);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];

    Bytes titles = Text("PACS            HRBIMAGE        ");
    Bytes fixed{0, 1, 0, 0};
    fixed = fixed + titles + Bytes(32, 0);
    Bytes maxLength;
    AppendBE32(maxLength, 16384);
    Bytes role;
    AppendBE16(role, 25);
    role = role + Text("1.2.840.10008.5.1.4.1.1.7") + Bytes{0, 1};
    Bytes accept = fixed + Item(0x10, Text("1.2.840.10008.3.1.1.1")) +
                   Item(0x21, Bytes{1, 0, 0, 0} + Item(0x40, Text("1.2.840.10008.1.2.1"))) +
                   Item(0x50, Item(0x51, maxLength) + Item(0x52, Text("1.2.3.4")) + Item(0x55, Text("PEER")) +
                                  Item(0x54, role));

    Bytes body = Command(0x0002, Text(std::string("1.2.840.10008.5.1.4.1.1.7") + '\0')) +
                 Command(0x0100, Bytes{0x01, 0x80}) + Command(0x0120, Bytes{1, 0}) +
                 Command(0x0800, Bytes{1, 1}) + Command(0x0900, Bytes{0, 0});
    unsigned n = static_cast<unsigned>(body.size());
    Bytes response = Command(0x0000, Bytes{static_cast<unsigned char>(n), 0, 0, 0}) + body;
    Bytes head(response.begin(), response.begin() + 30), tail(response.begin() + 30, response.end());
    Bytes pdv1, pdv2;
    AppendBE32(pdv1, static_cast<uint32_t>(head.size() + 2));
    AppendBE32(pdv2, static_cast<uint32_t>(tail.size() + 2));

    bool ok = Save(folder, "accept", 7, Pdu(2, accept));
    ok = Save(folder, "reject", 3, Pdu(3, Bytes{0, 1, 1, 7})) && ok;
    ok = Save(folder, "response", 31, PData(1, 3, response)) && ok;
    ok = Save(folder, "response_split", 5, PData(1, 1, head) + PData(1, 3, tail)) && ok;
    ok = Save(folder, "two_pdvs", 11, Pdu(4, pdv1 + Bytes{1, 1} + head + pdv2 + Bytes{1, 3} + tail)) && ok;
    ok = Save(folder, "abort_release", 1, Pdu(7, Bytes{0, 0, 2, 0}) + Pdu(5, Bytes(4, 0)) + Pdu(6, Bytes(4, 0))) && ok;
    return ok ? 0 : 1;
}

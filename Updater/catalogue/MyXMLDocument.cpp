#include "catalogue/MyXMLDocument.h"

#include "catalogue/ParserInput.h"
#include "system/FileRead.h"
#include "system/FileWrite.h"
#include "system/TextCodec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

namespace MyXML {

namespace {

const wchar_t kDeclaration[] = L"<?xml version='1.0' encoding='UTF-8'?>";

std::wstring AnsiToWide(const char* text) {
    if (!text)
        return std::wstring();
    return BytesToWide(text, std::strlen(text), CodePage::ThreadAnsi);
}

// Same as AnsiToWide(text) == name, without converting the text when it is
// plain ASCII (element names always are): the reader compares the name of
// every node it passes, and the conversion made reading a products file
// allocate for each of them.
bool IsNamed(const char* text, const std::wstring& name) {
    if (!text)
        return name.empty();
    size_t i = 0;
    for (; text[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80)
            return AnsiToWide(text) == name;
        if (i >= name.size() || name[i] != static_cast<wchar_t>(c))
            return false;
    }
    return i == name.size();
}

// A number in the writer's printf format ("%d" or "%f"); a float as large as
// FLT_MAX needs under 64 digits, so the buffer never cuts one.
template <typename Number>
std::wstring FormatNumber(const char* format, Number value) {
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, format, value);
    if (n < 0)
        return std::wstring();
    return AnsiToWide(buffer);
}

// One attribute into the member registered under its name, as text, float
// or integer; an attribute of no registered name is passed over.
void SetAttribute(CMyXMLNode& node, const std::wstring& name, const std::string& value) {
    auto s = node.m_StringAttributes.find(name);
    if (s != node.m_StringAttributes.end()) {
        if (s->second)
            *s->second = Utf8ToWide(value.c_str());
        return;
    }
    auto f = node.m_FloatAttributes.find(name);
    if (f != node.m_FloatAttributes.end()) {
        if (f->second)
            *f->second = static_cast<float>(std::atof(value.c_str()));
        return;
    }
    auto n = node.m_IntAttributes.find(name);
    if (n != node.m_IntAttributes.end() && n->second)
        *n->second = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
}

// The attributes of the element start the reader stands on.
void ReadAttributes(irr::io::IrrXMLReader& reader, CMyXMLNode& node) {
    const int attributeCount = static_cast<int>(reader.getAttributeCount());
    for (int i = 0; i < attributeCount; ++i) {
        const char* reported = reader.getAttributeValue(i);
        if (reported)
            SetAttribute(node, AnsiToWide(reader.getAttributeName(i)), WithoutEntityGuard(reported));
    }
}

// Only the node right after the start tag, where the reader stands, counts
// as the element's text.
void ReadText(irr::io::IrrXMLReader& reader, CMyXMLNode& node) {
    const irr::io::EXML_NODE type = reader.getNodeType();
    if ((type == irr::io::EXN_TEXT || type == irr::io::EXN_CDATA) && node.m_pText) {
        *node.m_pText = Utf8ToWide(WithoutEntityGuard(reader.getNodeData()).c_str());
        node.m_nTextKind = type == irr::io::EXN_CDATA ? TEXT_CDATA : TEXT_PLAIN;
    }
}

}  // namespace

CStringReadCallBack::CStringReadCallBack(const std::wstring& text)
    : m_utf8(WideToUtf8(text)), m_nPosition(0) {}

CStringReadCallBack::CStringReadCallBack(Utf8Bytes utf8)
    : m_utf8(std::move(utf8.bytes)), m_nPosition(0) {}

int CStringReadCallBack::read(void* buffer, int sizeToRead) {
    if (!buffer || sizeToRead <= 0)
        return 0;
    size_t remaining = m_utf8.size() - static_cast<size_t>(m_nPosition);
    size_t count = static_cast<size_t>(sizeToRead) < remaining ? static_cast<size_t>(sizeToRead)
                                                                : remaining;
    if (count > 0)
        std::memcpy(buffer, m_utf8.data() + m_nPosition, count);
    m_nPosition += static_cast<int>(count);
    return static_cast<int>(count);
}

long CStringReadCallBack::getSize() const {
    return static_cast<long>(m_utf8.size());
}

CMyXMLDocument::CMyXMLDocument() : m_pReader(nullptr) {}

CMyXMLDocument::~CMyXMLDocument() {
    delete m_pReader;
}

void CMyXMLDocument::OpenBytes(std::string bytes) {
    delete m_pReader;
    m_pReader = nullptr;
    // The parser reads past the end of some malformed texts; it only ever
    // sees the part it can read safely.
    CStringReadCallBack::Utf8Bytes safe{PrepareParserInput(bytes)};
    CStringReadCallBack* callback = new (std::nothrow) CStringReadCallBack(std::move(safe));
    if (!callback)
        return;
    // The reader takes the whole text at creation and deletes the callback.
    m_pReader = irr::io::createIrrXMLReader(callback, true);
}

int CMyXMLDocument::OpenFile(const std::wstring& path) {
    std::string bytes;
    // An unreadable file gives a parser without nodes.
    ReadWholeFile(path.c_str(), bytes);
    OpenBytes(std::move(bytes));
    return m_pReader ? 0 : -1;
}

int CMyXMLDocument::OpenString(const std::wstring& text) {
    OpenBytes(WideToUtf8(text));
    return m_pReader ? 0 : -1;
}

int CMyXMLDocument::OpenUtf8(const std::string& bytes) {
    OpenBytes(bytes);
    return m_pReader ? 0 : -1;
}

int CMyXMLDocument::ReadNode(CMyXMLNode* node) {
    if (!m_pReader || !node)
        return -1;
    return ReadInto(*node);
}

int CMyXMLDocument::ReadInto(CMyXMLNode& node, bool bound) {
    using namespace irr::io;
    if (!bound)
        node.BindMembers();
    const std::wstring name = node.GetNodeName();

    // The element may stand at any depth; the first node of that name wins.
    while (!IsNamed(m_pReader->getNodeName(), name)) {
        if (!m_pReader->read())
            return -1;
    }
    if (node.m_pText)
        node.m_pText->clear();
    if (m_pReader->getNodeType() != EXN_ELEMENT)
        return 0;

    ReadAttributes(*m_pReader, node);
    if (m_pReader->isEmptyElement())
        return 0;

    const std::wstring elementName = AnsiToWide(m_pReader->getNodeName());
    m_pReader->read();
    ReadText(*m_pReader, node);

    for (;;) {
        const EXML_NODE type = m_pReader->getNodeType();
        if (type == EXN_ELEMENT_END && IsNamed(m_pReader->getNodeName(), elementName))
            return 0;
        // Only element starts are looked up: a text whose content happens to
        // equal a child's name is no element. Elements inside unregistered
        // elements are still examined here, so a registered child wrapped in
        // an unknown element is read all the same.
        if (type == EXN_ELEMENT)
            ReadChild(node);
        if (!m_pReader->read())
            return -1;
    }
}

void CMyXMLDocument::ReadChild(CMyXMLNode& node) {
    const std::wstring current = AnsiToWide(m_pReader->getNodeName());
    auto child = node.m_Children.find(current);
    if (child != node.m_Children.end()) {
        if (child->second)
            ReadInto(*child->second);
        return;
    }
    auto list = node.m_ChildLists.find(current);
    if (list == node.m_ChildLists.end() || !list->second || list->second->Count() == 0)
        return;
    // A list grows by a fresh entry made like its first one; the prototype
    // that stood for an empty list goes once a real entry is there.
    CNodeListBase& nodes = *list->second;
    CMyXMLNode* fresh = nodes.At(0)->CreateNew();
    if (!fresh)
        return;
    fresh->m_bPrototype = false;
    ReadInto(*fresh, true);
    nodes.Append(fresh);
    if (nodes.At(0)->m_bPrototype)
        nodes.EraseAt(0);
}

void CMyXMLDocument::WriteNode(const CMyXMLNode& node, std::wstring& out) const {
    const std::wstring name = node.GetNodeName();
    out += L'<';
    out += name;
    for (const auto& a : node.m_IntAttributes) {
        if (a.second)
            out += L" " + a.first + L"='" + FormatNumber("%d", *a.second) + L"'";
    }
    for (const auto& a : node.m_FloatAttributes) {
        if (a.second)
            out += L" " + a.first + L"='" + FormatNumber("%f", static_cast<double>(*a.second)) +
                   L"'";
    }
    for (const auto& a : node.m_StringAttributes) {
        if (a.second && !(a.second->empty() && node.m_OptionalAttributes.count(a.first))) {
            out += L' ';
            out += a.first;
            out += L"='";
            out += EscapeXml(*a.second);
            out += L'\'';
        }
    }
    // Never self-closed: an element without content is a start tag directly
    // followed by its end tag.
    out += L'>';
    for (const auto& c : node.m_Children) {
        if (c.second)
            WriteNode(*c.second, out);
    }
    for (const auto& l : node.m_ChildLists) {
        if (!l.second)
            continue;
        for (size_t i = 0; i < l.second->Count(); ++i) {
            const CMyXMLNode* child = l.second->At(i);
            if (child && !child->m_bPrototype)
                WriteNode(*child, out);
        }
    }
    if (node.m_pText) {
        if (node.m_nTextKind == TEXT_CDATA)
            out += L"<![CDATA[" + *node.m_pText + L"]]>";
        else if (node.m_nTextKind == TEXT_PLAIN)
            out += EscapeXml(*node.m_pText);
    }
    out += L"</" + name + L">";
}

std::wstring CMyXMLDocument::NodeToString(const CMyXMLNode* node) const {
    std::wstring text;
    if (node)
        WriteNode(*node, text);
    return text;
}

int CMyXMLDocument::SaveFile(const CMyXMLNode* node, const std::wstring& path) const {
    if (!node)
        return -1;
    std::wstring text = kDeclaration + NodeToString(node);
    return WriteFileDurably(path, WideToUtf8(text)) ? 0 : -1;
}

bool CMyXMLDocument::CopyNode(const CMyXMLNode* source, CMyXMLNode* target) {
    if (OpenString(NodeToString(source)) != 0)
        return false;
    return ReadNode(target) == 0;
}

}  // namespace MyXML

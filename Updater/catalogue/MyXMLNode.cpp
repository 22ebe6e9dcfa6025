#include "catalogue/MyXMLNode.h"

#include "system/TextCodec.h"

#include <cstring>

namespace MyXML {

CMyXMLNode::CMyXMLNode() : m_bPrototype(false), m_pText(nullptr), m_nTextKind(TEXT_NONE) {}

CMyXMLNode::~CMyXMLNode() {}

void CMyXMLNode::ClearRegistrations() {
    m_IntAttributes.clear();
    m_FloatAttributes.clear();
    m_StringAttributes.clear();
    m_Children.clear();
    m_ChildLists.clear();
}

void CMyXMLNode::BindString(const wchar_t* name, std::wstring& member) {
    member.clear();
    m_StringAttributes[name] = &member;
}

void CMyXMLNode::BindInt(const wchar_t* name, int& member) {
    member = 0;
    m_IntAttributes[name] = &member;
}

void CMyXMLNode::BindFloat(const wchar_t* name, float& member) {
    member = 0.0f;
    m_FloatAttributes[name] = &member;
}

void CMyXMLNode::BindChild(const wchar_t* name, CMyXMLNode& child) {
    m_Children[name] = &child;
}

void CMyXMLNode::BindList(CNodeListBase& list, CMyXMLNode* prototype) {
    while (list.Count() > 0)
        list.EraseAt(list.Count() - 1);
    if (!prototype)
        return;  // out of memory: the list can't learn its element name
    prototype->m_bPrototype = true;
    std::wstring name = prototype->GetNodeName();
    list.Append(prototype);
    m_ChildLists[name] = &list;
}

std::wstring EscapeXml(const std::wstring& text) {
    static const struct {
        wchar_t ch;
        const wchar_t* entity;
    } kEntities[] = {
        {L'&', L"&amp;"}, {L'<', L"&lt;"}, {L'>', L"&gt;"}, {L'\'', L"&apos;"}, {L'"', L"&quot;"},
    };
    // One pass per character in this order; & goes first so that no entity
    // is escaped twice.
    std::wstring result = text;
    for (const auto& e : kEntities) {
        std::wstring next;
        next.reserve(result.size());
        for (wchar_t c : result) {
            if (c == e.ch)
                next += e.entity;
            else
                next += c;
        }
        result.swap(next);
    }
    return result;
}

std::wstring Utf8ToWide(const char* utf8) {
    if (!utf8)
        return std::wstring();
    return BytesToWide(utf8, std::strlen(utf8), CodePage::Utf8);
}

}  // namespace MyXML

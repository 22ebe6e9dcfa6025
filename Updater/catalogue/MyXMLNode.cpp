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
    m_OptionalAttributes.clear();
    m_Children.clear();
    m_ChildLists.clear();
}

void CMyXMLNode::BindString(const wchar_t* name, std::wstring& member) {
    member.clear();
    m_StringAttributes[name] = &member;
}

void CMyXMLNode::BindOptionalString(const wchar_t* name, std::wstring& member) {
    BindString(name, member);
    m_OptionalAttributes.insert(name);
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
    // One pass: no entity holds any of the five characters but "&" itself,
    // so this equals replacing them one after the other, "&" first. Writing a
    // products file escapes every attribute; five passes cost five copies.
    std::wstring result;
    result.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
        case L'&': result += L"&amp;"; break;
        case L'<': result += L"&lt;"; break;
        case L'>': result += L"&gt;"; break;
        case L'\'': result += L"&apos;"; break;
        case L'"': result += L"&quot;"; break;
        default: result += c; break;
        }
    }
    return result;
}

std::wstring Utf8ToWide(const char* utf8) {
    if (!utf8)
        return std::wstring();
    return BytesToWide(utf8, std::strlen(utf8), CodePage::Utf8);
}

}  // namespace MyXML

#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace MyXML {

class CMyXMLNode;

// How the bound text of an element was last read; decides how it is written.
enum TextKind {
    TEXT_NONE = 0,   // nothing read: no text is written
    TEXT_PLAIN = 1,  // ordinary text: written escaped
    TEXT_CDATA = 2,  // a CDATA section: written back as one, unchanged
};

// The reader's and writer's view of a list of child elements of one name.
// Every list holds a prototype (a placeholder of the element class) until
// its first real element is read; see CNodeList.
class CNodeListBase {
public:
    virtual ~CNodeListBase() {}
    virtual size_t Count() const = 0;
    virtual CMyXMLNode* At(size_t index) const = 0;
    // Takes ownership of node, which must be an instance of the list's class.
    virtual void Append(CMyXMLNode* node) = 0;
    // Destroys the node at index and removes it from the list.
    virtual void EraseAt(size_t index) = 0;
};

// Abstract base of all element classes. A derived class registers its own
// members under their XML names in BindMembers; the generic reader and writer
// of CMyXMLDocument work only through those registrations. Nothing that is
// not registered survives a read.
class CMyXMLNode {
public:
    CMyXMLNode();
    CMyXMLNode(const CMyXMLNode&) = delete;
    CMyXMLNode& operator=(const CMyXMLNode&) = delete;

    // Resets the members to their defaults and registers them. A list is
    // emptied (its nodes destroyed) and gets a fresh prototype.
    virtual void BindMembers() = 0;
    // The element name.
    virtual std::wstring GetNodeName() const = 0;
    // A new, bound instance of the same class; the caller owns it. Null when
    // memory runs out.
    virtual CMyXMLNode* CreateNew() const = 0;
    virtual ~CMyXMLNode();

    // Set on the placeholder that a child list carries until its first real
    // element is read. Writers skip it; a list holding only it is empty.
    bool m_bPrototype;
    // Member receiving the element's text; null when the element has none.
    std::wstring* m_pText;
    // TextKind of the text last read into m_pText.
    int m_nTextKind;
    // Registrations by XML name (ordered by UTF-16 code units); they point
    // into the derived object and own nothing.
    std::map<std::wstring, int*> m_IntAttributes;
    std::map<std::wstring, float*> m_FloatAttributes;
    std::map<std::wstring, std::wstring*> m_StringAttributes;
    // Names of string attributes that are left out when written empty, so
    // that an attribute added later doesn't change files that never had it.
    std::set<std::wstring> m_OptionalAttributes;
    std::map<std::wstring, CMyXMLNode*> m_Children;
    std::map<std::wstring, CNodeListBase*> m_ChildLists;

protected:
    // Helpers for BindMembers. Each sets the member to its default first.
    void ClearRegistrations();
    void BindString(const wchar_t* name, std::wstring& member);
    // BindString for an attribute that is written only when it isn't empty.
    void BindOptionalString(const wchar_t* name, std::wstring& member);
    void BindInt(const wchar_t* name, int& member);
    void BindFloat(const wchar_t* name, float& member);
    void BindChild(const wchar_t* name, CMyXMLNode& child);
    void BindList(CNodeListBase& list, CMyXMLNode* prototype);
};

// An owned list of child elements of class T, registered under T's element
// name. Destroying or clearing the list destroys its nodes. Walkers meet the
// prototype (m_bPrototype set, all attributes empty) when no element of
// that name was read.
template <class T>
class CNodeList : public CNodeListBase {
public:
    typedef typename std::vector<T*>::const_iterator const_iterator;

    CNodeList() {}
    CNodeList(const CNodeList&) = delete;
    CNodeList& operator=(const CNodeList&) = delete;
    ~CNodeList() override { clear(); }

    size_t size() const { return m_nodes.size(); }
    bool empty() const { return m_nodes.empty(); }
    T* operator[](size_t index) const { return m_nodes[index]; }
    T* front() const { return m_nodes.front(); }
    T* back() const { return m_nodes.back(); }
    const_iterator begin() const { return m_nodes.begin(); }
    const_iterator end() const { return m_nodes.end(); }
    // Number of real elements: the prototype does not count.
    size_t RealCount() const {
        size_t n = 0;
        for (T* node : m_nodes)
            if (node && !node->m_bPrototype)
                ++n;
        return n;
    }

    // Takes ownership of node (ignored when null).
    void push_back(T* node) {
        if (node)
            m_nodes.push_back(node);
    }
    // Destroys the node at index and removes it.
    void erase(size_t index) {
        if (index >= m_nodes.size())
            return;
        T* node = m_nodes[index];
        m_nodes.erase(m_nodes.begin() + static_cast<std::ptrdiff_t>(index));
        delete node;
    }
    // Destroys every node.
    void clear() {
        std::vector<T*> nodes;
        nodes.swap(m_nodes);
        for (T* node : nodes)
            delete node;
    }

    size_t Count() const override { return m_nodes.size(); }
    CMyXMLNode* At(size_t index) const override {
        return index < m_nodes.size() ? m_nodes[index] : nullptr;
    }
    void Append(CMyXMLNode* node) override { push_back(static_cast<T*>(node)); }
    void EraseAt(size_t index) override { erase(index); }

private:
    std::vector<T*> m_nodes;
};

// Escapes the five XML special characters: & first, then < > ' and ".
std::wstring EscapeXml(const std::wstring& text);

// The UTF-8 text up to its terminator as wide text; empty when null, empty
// or not convertible.
std::wstring Utf8ToWide(const char* utf8);

}  // namespace MyXML

#pragma once

#include "catalogue/MyXMLNode.h"

#include <irrXML.h>

#include <string>

namespace MyXML {

// Lets the parser read from UTF-8 bytes in memory instead of a file.
class CStringReadCallBack : public irr::io::IFileReadCallBack {
public:
    // Stores the text, up to its terminator, converted to UTF-8.
    explicit CStringReadCallBack(const std::wstring& text);
    // Stores bytes that are already UTF-8, as they are.
    struct Utf8Bytes {
        std::string bytes;
    };
    explicit CStringReadCallBack(Utf8Bytes utf8);

    // Copies min(size, remaining) bytes from the read position into buffer,
    // advances the position by that count and returns it.
    int read(void* buffer, int sizeToRead) override;
    // The total number of bytes.
    long getSize() const override;

private:
    std::string m_utf8;
    int m_nPosition;
};

// One parser over one document, with the generic reading, writing, saving
// and copying of element classes. Used for one task and then destroyed.
// Results: 0 for success, -1 for failure unless stated otherwise.
class CMyXMLDocument {
public:
    CMyXMLDocument();
    ~CMyXMLDocument();
    CMyXMLDocument(const CMyXMLDocument&) = delete;
    CMyXMLDocument& operator=(const CMyXMLDocument&) = delete;

    // Opens the file, whatever characters its path holds. A missing or
    // unreadable file is not reported here: the parser then delivers no
    // nodes and ReadNode fails.
    int OpenFile(const std::wstring& path);
    // Opens a parser over the text.
    int OpenString(const std::wstring& text);
    // Opens a parser over UTF-8 bytes as they came (a signed manifest),
    // read as far as their first zero byte.
    int OpenUtf8(const std::string& bytes);
    // Fills node and its registered descendants from the first element of
    // its name, at any depth from the current parser position. -1 without a
    // parser, when the element is missing or the input ends inside it (what
    // was read so far stays in the nodes).
    int ReadNode(CMyXMLNode* node);
    // The node's XML text in the normalised one-line form, without an XML
    // declaration; empty for a null node.
    std::wstring NodeToString(const CMyXMLNode* node) const;
    // Writes the declaration and the node as UTF-8 (no byte order mark) in
    // place of the file at path, durably (WriteFileDurably): a failed save,
    // -1, leaves the file that was there as it was.
    int SaveFile(const CMyXMLNode* node, const std::wstring& path) const;
    // Deep copy through text: NodeToString of source read into target. True
    // when both steps succeed.
    bool CopyNode(const CMyXMLNode* source, CMyXMLNode* target);

private:
    void OpenBytes(std::string bytes);
    // bound: the node is freshly bound (CreateNew), so its members need no
    // reset; binding allocates, and a products file has many elements.
    int ReadInto(CMyXMLNode& node, bool bound = false);
    // Reads the element start the parser stands on into the node's child or
    // child list of that name; any other element is passed over.
    void ReadChild(CMyXMLNode& node);
    void WriteNode(const CMyXMLNode& node, std::wstring& out) const;

    irr::io::IrrXMLReader* m_pReader;
};

}  // namespace MyXML

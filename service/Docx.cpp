#include "Docx.h"

#include <zip.h>

#include <ctime>
#include <vector>

namespace service {

namespace {

std::string Xml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
                    out.push_back(c);
                }
        }
    }
    return out;
}

std::string Paragraph(const std::string& text, int halfPoints = 24, bool bold = false,
                      const char* align = nullptr, bool underline = false) {
    std::string p = "<w:p><w:pPr><w:spacing w:after=\"160\" w:line=\"360\" w:lineRule=\"auto\"/>";
    if (align) {
        p += std::string("<w:jc w:val=\"") + align + "\"/>";
    }
    p += "</w:pPr><w:r><w:rPr><w:rFonts w:ascii=\"Calibri\" w:hAnsi=\"Calibri\" "
         "w:eastAsia=\"SimSun\"/>";
    if (bold) {
        p += "<w:b/>";
    }
    if (underline) {
        p += "<w:u w:val=\"single\"/>";
    }
    p += "<w:sz w:val=\"" + std::to_string(halfPoints) +
         "\"/></w:rPr><w:t xml:space=\"preserve\">" + Xml(text) + "</w:t></w:r></w:p>";
    return p;
}

std::vector<std::string> BodyLines(int tab) {
    switch (tab) {
        case 2:
            return {"一、工作回顾",   "（在此概述本期的主要工作。）",
                    "二、主要成绩",   "（在此列出取得的成绩与数据。）",
                    "三、不足与改进", "（在此说明存在的问题及改进措施。）",
                    "四、下一步计划", "（在此写明下一阶段的目标与安排。）"};
        case 3:
            return {"甲方：____________________",
                    "乙方：____________________",
                    "经双方友好协商，就下列事项达成一致：",
                    "第一条 （在此填写约定事项。）",
                    "第二条 （在此填写双方的权利与义务。）",
                    "第三条 （在此填写违约责任。）",
                    "第四条 本文书一式两份，双方各执一份，自签字之日起生效。",
                    "甲方（签字）：__________    乙方（签字）：__________",
                    "日期：______年____月____日"};
        case 4:
            return {"（在此写下一句激励自己的话。）", "每一个不曾起舞的日子，都是对生命的辜负。",
                    "（在此展开你的感悟。）"};
        default:
            return {"编号：__________        日期：______年____月____日",
                    "（在此填写正文。）",
                    "",
                    "",
                    "",
                    "落款：____________________"};
    }
}

bool AddEntry(zipFile zf, const char* name, const std::string& data) {
    zip_fileinfo info{};
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    info.tmz_date.tm_year = static_cast<unsigned>(tm.tm_year + 1900);
    info.tmz_date.tm_mon = static_cast<unsigned>(tm.tm_mon);
    info.tmz_date.tm_mday = static_cast<unsigned>(tm.tm_mday);
    info.tmz_date.tm_hour = static_cast<unsigned>(tm.tm_hour);
    info.tmz_date.tm_min = static_cast<unsigned>(tm.tm_min);
    info.tmz_date.tm_sec = static_cast<unsigned>(tm.tm_sec);
    if (zipOpenNewFileInZip(zf, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION) != ZIP_OK) {
        return false;
    }
    const bool ok =
        zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
    return zipCloseFileInZip(zf) == ZIP_OK && ok;
}

}  // namespace

bool WriteTemplateDocx(const std::string& path, const TemplateRecord& t, const char* subcategory,
                       int tab) {
    const std::string contentTypes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/"
        "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "<Override PartName=\"/docProps/core.xml\" "
        "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
        "</Types>";
    const std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        "officeDocument\" Target=\"word/document.xml\"/>"
        "<Relationship Id=\"rId2\" "
        "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
        "core-properties\" Target=\"docProps/core.xml\"/>"
        "</Relationships>";
    const std::string core =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<cp:coreProperties "
        "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "xmlns:dcterms=\"http://purl.org/dc/terms/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
        "<dc:title>" +
        Xml(t.name) + "</dc:title><dc:creator>" + Xml(t.author) + "</dc:creator><cp:keywords>" +
        Xml(subcategory) + "</cp:keywords><dcterms:created xsi:type=\"dcterms:W3CDTF\">" +
        Xml(t.published) + "T00:00:00Z</dcterms:created></cp:coreProperties>";

    std::string body = Paragraph(t.name, 36, true, "center");
    body += Paragraph(std::string(subcategory) + " · " + t.author, 20, false, "center");
    for (const std::string& line : BodyLines(tab)) {
        body += Paragraph(line, 24, line.find("、") != std::string::npos && line.size() < 24);
    }
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:body>" +
        body +
        "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
        "<w:pgMar w:top=\"1440\" w:right=\"1800\" w:bottom=\"1440\" w:left=\"1800\" "
        "w:header=\"851\" w:footer=\"992\" w:gutter=\"0\"/></w:sectPr></w:body></w:document>";

    zipFile zf = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (!zf) {
        return false;
    }
    bool ok = AddEntry(zf, "[Content_Types].xml", contentTypes) &&
              AddEntry(zf, "_rels/.rels", rels) && AddEntry(zf, "docProps/core.xml", core) &&
              AddEntry(zf, "word/document.xml", document);
    ok = zipClose(zf, nullptr) == ZIP_OK && ok;
    return ok;
}

}  // namespace service

#include "WebSite.h"

#include "SandboxState.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <httplib.h>

namespace {

std::string Page(const std::string& title, const std::string& text)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body><h1>" + title + "</h1><p>" + text + "</p></body></html>";
}

// A one-page PDF, enough for a browser to open.
std::string Pdf(const std::string& text)
{
    const std::string stream = "BT /F1 18 Tf 72 720 Td (" + text + ") Tj ET";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 "
        "R >> "
        ">> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[21];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::string Picture(const QString& name)
{
    QFile drawn(QStringLiteral(":/images/") + name + QStringLiteral(".png"));
    if (drawn.open(QIODevice::ReadOnly)) {
        return drawn.readAll().toStdString();
    }
    QImage image(1280, 800, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 800);
    const uint hue = qHash(name) % 360;
    sky.setColorAt(0, QColor::fromHsv(int(hue), 160, 90));
    sky.setColorAt(1, QColor::fromHsv(int(hue + 30) % 360, 90, 200));
    painter.fillRect(image.rect(), sky);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png.toStdString();
}

} // namespace

void WebSite::InstallAccountWeb(httplib::Server& server, SandboxState&)
{
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Page("Vomo account", "Sandbox account web site."), "text/html; charset=utf-8");
    });
    server.Get("/resetPasswd", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(Page("Reset password", "locale " + req.get_param_value("locale")),
                        "text/html; charset=utf-8");
    });
    server.Get("/user/register.html", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(Page("Register", "back to " + req.get_param_value("backUrl")),
                        "text/html; charset=utf-8");
    });
}

void WebSite::InstallDocuments(httplib::Server& server, SandboxState&)
{
    server.Get(R"(/Doc/(.+\.pdf))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(Pdf("Aviro sandbox document " + std::string(req.matches[1])), "application/pdf");
    });
    server.Get("/faq", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Page("FAQ", "Sandbox frequently asked questions."), "text/html; charset=utf-8");
    });
    server.Get(R"(/images/([A-Za-z0-9_.-]+)\.png)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(Picture(QString::fromStdString(req.matches[1])), "image/png");
    });
}

#include "Snippets.h"

#include "MacrosFiler.h"
#include "Placeholders.h"

#include "CodePage.h"
#include "Dialogs.h"
#include "SafeFile.h"
#include "core/StringTable.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <optional>

namespace {

// Line and column (from 1) of a byte offset.
QString Where(const QByteArray &bytes, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, bytes.size());
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i)
        if (bytes.at(i) == '\n') {
            ++line;
            lineStart = i + 1;
        }
    return QStringLiteral("line %1, column %2").arg(line).arg(offset - lineStart + 1);
}

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Comments and trailing commas blanked; the keys of the outermost object,
// as their raw JSON strings, in file order.
QByteArray Strip(QByteArray text, std::vector<QByteArray> &keys)
{
    qsizetype pendingComma = -1;
    int depth = 0;
    bool keyPlace = false; // at depth 1 of an object, after "{" or ","
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text.at(i);
        if (c == '"') {
            pendingComma = -1;
            qsizetype j = i + 1;
            while (j < n && text.at(j) != '"')
                j += text.at(j) == '\\' ? 2 : 1;
            if (j >= n)
                return text; // the parser says where the string starts
            if (depth == 1 && keyPlace)
                keys.push_back(text.mid(i, j - i + 1));
            keyPlace = false;
            i = j;
            continue;
        }
        if (c == '/' && i + 1 < n && text.at(i + 1) == '/') {
            while (i < n && text.at(i) != '\n')
                text[i++] = ' ';
            continue;
        }
        if (c == '/' && i + 1 < n && text.at(i + 1) == '*') {
            const qsizetype end = text.indexOf("*/", i + 2);
            if (end < 0)
                throw ESnippetError(Where(text, i) + QStringLiteral(": a comment that does not end"));
            for (qsizetype j = i; j < end + 2; ++j)
                if (text.at(j) != '\n')
                    text[j] = ' '; // line ends stay, so errors name the right line
            i = end + 1;
            continue;
        }
        if (Blank(c))
            continue;
        if (c == ',') {
            if (pendingComma >= 0)
                pendingComma = -1; // ",," is an error for the parser to tell
            else
                pendingComma = i;
            keyPlace = depth == 1;
            continue;
        }
        if ((c == '}' || c == ']') && pendingComma >= 0)
            text[pendingComma] = ' ';
        pendingComma = -1;
        keyPlace = false;
        if (c == '{' || c == '[') {
            ++depth;
            keyPlace = depth == 1 && c == '{';
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return text;
}

QJsonDocument Parse(const QByteArray &bytes, QStringList *order)
{
    QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    std::vector<QByteArray> keys;
    text = Strip(std::move(text), keys);
    bool empty = true;
    for (const char c : text)
        if (!Blank(c)) {
            empty = false;
            break;
        }
    if (empty)
        return QJsonDocument(QJsonObject()); // a file of comments only holds no snippet
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        throw ESnippetError(Where(text, error.offset) + QStringLiteral(": ") + error.errorString());
    if (order) {
        for (const QByteArray &key : keys) {
            const QJsonDocument one = QJsonDocument::fromJson("[" + key + "]");
            const QString name = one.array().at(0).toString();
            if (!order->contains(name))
                order->append(name);
        }
    }
    return document;
}

// ------------------------------------------------------------ snippet body

struct TNode {
    enum Kind { Text, Tab, Var } kind = Text;
    QString text; // Text: the characters; Var: the name
    int number = -1;
    bool hasDefault = false;
    std::vector<TNode> children; // the default
    QStringList choices;
    bool transform = false;
    QString raw; // as written, for the notes
};

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsNameStart(QChar c)
{
    return c == QLatin1Char('_') || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// The snippet grammar as VS Code reads it; what does not parse is text.
class TBodyParser {
public:
    explicit TBodyParser(const QString &text) : s(text) {}

    std::vector<TNode> Parse() { return Any(false, 0); }

private:
    static constexpr int MaxDepth = 64;

    std::vector<TNode> Any(bool inner, int depth)
    {
        std::vector<TNode> nodes;
        auto literal = [&nodes](QChar c) {
            if (nodes.empty() || nodes.back().kind != TNode::Text)
                nodes.push_back({});
            nodes.back().text += c;
        };
        while (i < s.size()) {
            const QChar c = s.at(i);
            if (c == QLatin1Char('\\') && i + 1 < s.size()
                && QStringLiteral("$}\\").contains(s.at(i + 1))) {
                literal(s.at(i + 1));
                i += 2;
            } else if (c == QLatin1Char('}') && inner) {
                return nodes;
            } else if (c == QLatin1Char('$') && depth < MaxDepth) {
                if (std::optional<TNode> node = Dollar(depth))
                    nodes.push_back(std::move(*node));
                else
                    literal(s.at(i++));
            } else {
                literal(c);
                ++i;
            }
        }
        return nodes;
    }

    QString Name()
    {
        const qsizetype from = i;
        while (i < s.size() && (IsNameStart(s.at(i)) || IsDigit(s.at(i))))
            ++i;
        return s.mid(from, i - from);
    }

    int Number()
    {
        const qsizetype from = i;
        while (i < s.size() && IsDigit(s.at(i)))
            ++i;
        bool ok = false;
        const int n = s.mid(from, std::min<qsizetype>(i - from, 9)).toInt(&ok);
        return ok ? n : 0;
    }

    // "/regex/format/options" up to the closing brace, which stays.
    bool Transform()
    {
        ++i; // the first "/"
        for (int part = 0; part < 2; ++part) {
            int braces = 0;
            while (i < s.size() && !(s.at(i) == QLatin1Char('/') && braces == 0)) {
                if (s.at(i) == QLatin1Char('\\'))
                    ++i;
                else if (part == 1 && s.at(i) == QLatin1Char('{'))
                    ++braces;
                else if (part == 1 && s.at(i) == QLatin1Char('}') && braces > 0)
                    --braces;
                ++i;
            }
            if (i >= s.size())
                return false;
            ++i;
        }
        while (i < s.size() && s.at(i) != QLatin1Char('}'))
            ++i;
        return i < s.size();
    }

    // "a,b|}" after "${1|": the options, with \, \| \\ \$ \} unescaped.
    bool Choices(QStringList &out)
    {
        QString option;
        while (i < s.size()) {
            const QChar c = s.at(i);
            if (c == QLatin1Char('\\') && i + 1 < s.size()
                && QStringLiteral(",|\\$}").contains(s.at(i + 1))) {
                option += s.at(i + 1);
                i += 2;
            } else if (c == QLatin1Char('|') && i + 1 < s.size() && s.at(i + 1) == QLatin1Char('}')) {
                out << option;
                ++i; // leaves the brace
                return true;
            } else if (c == QLatin1Char(',')) {
                out << option;
                option.clear();
                ++i;
            } else {
                option += c;
                ++i;
            }
        }
        return false;
    }

    std::optional<TNode> Dollar(int depth)
    {
        const qsizetype start = i;
        TNode node;
        ++i;
        if (i < s.size() && IsDigit(s.at(i))) {
            node.kind = TNode::Tab;
            node.number = Number();
        } else if (i < s.size() && IsNameStart(s.at(i))) {
            node.kind = TNode::Var;
            node.text = Name();
        } else if (i + 1 < s.size() && s.at(i) == QLatin1Char('{')) {
            ++i;
            if (IsDigit(s.at(i))) {
                node.kind = TNode::Tab;
                node.number = Number();
            } else if (IsNameStart(s.at(i))) {
                node.kind = TNode::Var;
                node.text = Name();
            } else {
                i = start;
                return std::nullopt;
            }
            bool ok = i < s.size();
            if (ok && s.at(i) == QLatin1Char(':')) {
                ++i;
                node.hasDefault = true;
                node.children = Any(true, depth + 1);
                ok = i < s.size();
            } else if (ok && s.at(i) == QLatin1Char('|') && node.kind == TNode::Tab) {
                ++i;
                ok = Choices(node.choices);
            } else if (ok && s.at(i) == QLatin1Char('/')) {
                node.transform = true;
                ok = Transform();
            }
            if (!ok || s.at(i) != QLatin1Char('}')) {
                i = start;
                return std::nullopt;
            }
            ++i;
        } else {
            i = start;
            return std::nullopt;
        }
        node.raw = s.mid(start, i - start);
        return node;
    }

    const QString &s;
    qsizetype i = 0;
};

// VS Code variables and the placeholders they become.
const QHash<QString, QString> &Mapped()
{
    static const QHash<QString, QString> map{
        {QStringLiteral("TM_SELECTED_TEXT"), QStringLiteral("$SELECTION$")},
        {QStringLiteral("CLIPBOARD"), QStringLiteral("$CLIPBOARD$")},
        {QStringLiteral("TM_FILENAME_BASE"), QStringLiteral("$UNIT$")},
        {QStringLiteral("TM_FILEPATH"), QStringLiteral("$FILE$")},
        {QStringLiteral("CURRENT_YEAR"), QStringLiteral("$DATE:yyyy$")},
        {QStringLiteral("CURRENT_YEAR_SHORT"), QStringLiteral("$DATE:yy$")},
        {QStringLiteral("CURRENT_MONTH"), QStringLiteral("$DATE:MM$")},
        {QStringLiteral("CURRENT_MONTH_NAME"), QStringLiteral("$DATE:MMMM$")},
        {QStringLiteral("CURRENT_MONTH_NAME_SHORT"), QStringLiteral("$DATE:MMM$")},
        {QStringLiteral("CURRENT_DATE"), QStringLiteral("$DATE:dd$")},
        {QStringLiteral("CURRENT_DAY_NAME"), QStringLiteral("$DATE:dddd$")},
        {QStringLiteral("CURRENT_DAY_NAME_SHORT"), QStringLiteral("$DATE:ddd$")},
        {QStringLiteral("CURRENT_HOUR"), QStringLiteral("$TIME:HH$")},
        {QStringLiteral("CURRENT_MINUTE"), QStringLiteral("$TIME:mm$")},
        {QStringLiteral("CURRENT_SECOND"), QStringLiteral("$TIME:ss$")},
    };
    return map;
}

class TRenderer {
public:
    TRenderer(const QString &name, TSnippetNotes &notes) : FName(name), FNotes(notes) {}

    QString Render(const std::vector<TNode> &nodes)
    {
        Collect(nodes);
        // The first stop: the lowest from 1, else the final one.
        for (const int n : FNumbers)
            if (n >= 1 && (FFirst < 1 || n < FFirst))
                FFirst = n;
        if (FFirst < 1 && FNumbers.contains(0))
            FFirst = 0;
        return Text(nodes);
    }

private:
    void Note(QStringList &kind, const QString &what)
    {
        const QString item = FName + QStringLiteral(": ") + what;
        if (!kind.contains(item))
            kind << item;
    }

    void Collect(const std::vector<TNode> &nodes)
    {
        for (const TNode &node : nodes) {
            if (node.kind == TNode::Tab) {
                FNumbers.insert(node.number);
                if ((node.hasDefault || !node.choices.isEmpty()) && !FDefaults.contains(node.number))
                    FDefaults.insert(node.number, &node);
            }
            Collect(node.children);
        }
    }

    QString Text(const std::vector<TNode> &nodes)
    {
        QString out;
        for (const TNode &node : nodes) {
            // Mirrors of mirrors could grow without end; far beyond what a
            // macro holds, the rest is left out (and the macro too long).
            if (++FSteps > MaxSteps)
                return out;
            switch (node.kind) {
            case TNode::Text:
                out += node.text;
                break;
            case TNode::Tab:
                out += Stop(node);
                break;
            case TNode::Var:
                out += Variable(node);
                break;
            }
        }
        return out;
    }

    QString Stop(const TNode &node)
    {
        if (node.transform)
            Note(FNotes.transforms, node.raw);
        if (!node.choices.isEmpty())
            Note(FNotes.choices, node.raw);
        // The caret goes before the default, also before stops inside it.
        const bool caret = node.number == FFirst && !FCursorPlaced;
        if (caret)
            FCursorPlaced = true;
        QString content;
        // A stop without a default mirrors the default given elsewhere; a
        // default that holds its own stop does not recurse.
        const TNode *source = node.hasDefault || !node.choices.isEmpty() ? &node
                                                                         : FDefaults.value(node.number);
        if (source && !FOpen.contains(node.number)) {
            FOpen.insert(node.number);
            content = source->hasDefault ? Text(source->children) : source->choices.value(0);
            FOpen.remove(node.number);
        }
        return caret ? QStringLiteral("$CURSOR$") + content : content;
    }

    QString Variable(const TNode &node)
    {
        if (node.transform)
            Note(FNotes.transforms, node.raw);
        const auto mapped = Mapped().constFind(node.text);
        if (mapped == Mapped().constEnd()) {
            Note(FNotes.variables, QLatin1Char('$') + node.text);
            return node.hasDefault ? Text(node.children) : node.text;
        }
        if (node.hasDefault)
            Note(FNotes.partly, node.raw);
        if (++FUses[*mapped] == 2)
            Note(FNotes.partly, *mapped);
        return *mapped;
    }

    QString FName;
    TSnippetNotes &FNotes;
    QSet<int> FNumbers;
    QHash<int, const TNode *> FDefaults;
    QSet<int> FOpen;
    QHash<QString, int> FUses;
    int FFirst = -1;
    bool FCursorPlaced = false;
    static constexpr int MaxSteps = 100000;
    int FSteps = 0;
};

QString CrLf(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

// The body as one text with "\n" between its lines; nullopt when it is none.
std::optional<QString> BodyText(const QJsonValue &body)
{
    if (body.isString())
        return body.toString();
    if (!body.isArray())
        return std::nullopt;
    QStringList lines;
    for (const QJsonValue line : body.toArray()) {
        if (!line.isString())
            return std::nullopt;
        lines << line.toString();
    }
    return lines.join(QLatin1Char('\n'));
}

// A snippet's scope, VS Code's comma-separated language ids, names Pascal.
bool ForPascal(const QString &scope)
{
    static const QStringList pascal{QStringLiteral("pascal"), QStringLiteral("objectpascal"),
                                    QStringLiteral("delphi")};
    for (const QString &id : scope.split(QLatin1Char(',')))
        if (pascal.contains(id.trimmed(), Qt::CaseInsensitive))
            return true;
    return false;
}

QString Prefix(const QJsonValue &prefix)
{
    if (prefix.isArray())
        return prefix.toArray().at(0).toString();
    return prefix.toString();
}

} // namespace

QJsonDocument ParseTolerantJson(const QByteArray &bytes)
{
    return Parse(bytes, nullptr);
}

bool TSnippetNotes::empty() const
{
    return variables.isEmpty() && choices.isEmpty() && transforms.isEmpty() && partly.isEmpty()
        && notImported.isEmpty();
}

QStringList TSnippetNotes::Lines() const
{
    QStringList lines;
    const std::pair<int, const QStringList *> kinds[] = {
        {txt::SnippetsNotImported, &notImported}, {txt::SnippetVariables, &variables},
        {txt::SnippetChoices, &choices},          {txt::SnippetTransforms, &transforms},
        {txt::SnippetPartly, &partly},
    };
    for (const auto &[id, items] : kinds)
        if (!items->isEmpty())
        {
            // The count says how many; a message box shows the first ones.
            constexpr qsizetype Shown = 20;
            QString list = items->mid(0, Shown).join(QStringLiteral("; "));
            if (items->size() > Shown)
                list += QStringLiteral("; \u2026");
            lines << LoadStr(id).arg(items->size()).arg(list);
        }
    return lines;
}

QString SnippetBodyToMacro(const QString &body, const QString &name, TSnippetNotes &notes)
{
    const std::vector<TNode> nodes = TBodyParser(body).Parse();
    return CrLf(TRenderer(name, notes).Render(nodes));
}

TSnippetFile SnippetsFromJson(const QJsonDocument &document, const QStringList &order)
{
    TSnippetFile file;
    if (!document.isObject())
        throw ESnippetError(QStringLiteral("no snippet file: it holds no object of snippets"));
    const QJsonObject snippets = document.object();
    QStringList names = order;
    for (const QString &key : snippets.keys())
        if (!names.contains(key))
            names << key;
    for (const QString &name : names) {
        if (!snippets.contains(name))
            continue;
        ++file.snippets;
        const QJsonObject snippet = snippets.value(name).toObject();
        const std::optional<QString> body = BodyText(snippet.value(QLatin1String("body")));
        QString title = name.trimmed().isEmpty() ? Prefix(snippet.value(QLatin1String("prefix"))) : name;
        if (title.isEmpty())
            title = name;
        if (!body) {
            file.notes.notImported << title + QStringLiteral(" (no body)");
            continue;
        }
        // A .code-snippets file may hold snippets of other languages.
        const QString scope = snippet.value(QLatin1String("scope")).toString();
        if (!scope.trimmed().isEmpty() && !ForPascal(scope)) {
            file.notes.notImported << QStringLiteral("%1 (for %2)").arg(title, scope.trimmed());
            continue;
        }
        TSnippetNotes notes;
        const QString text = SnippetBodyToMacro(*body, title, notes);
        const qsizetype bytes = EncodeText(text).size();
        if (bytes > TMacroRec::BodyCapacity) {
            file.notes.notImported << QStringLiteral("%1 (%2 characters)").arg(title).arg(bytes);
            continue;
        }
        file.notes.variables << notes.variables;
        file.notes.choices << notes.choices;
        file.notes.transforms << notes.transforms;
        file.notes.partly << notes.partly;
        file.macros.push_back({title, text});
    }
    return file;
}

TSnippetFile SnippetsFromJson(const QJsonDocument &document)
{
    return SnippetsFromJson(document, {});
}

TSnippetFile ReadSnippetFile(const QString &fileName)
{
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(fileName, MaxSnippetFile);
    } catch (const EInOutError &e) {
        throw ESnippetError(e.message());
    }
    QStringList order;
    QJsonDocument document;
    try {
        document = Parse(bytes, &order);
    } catch (const ESnippetError &e) {
        throw ESnippetError(fileName + QStringLiteral(", ") + e.message());
    }
    TSnippetFile file = SnippetsFromJson(document, order);
    file.fileName = fileName;
    return file;
}

int ImportSnippets(TMacrosFiler &store, const TSnippetFile &file, TDialogService &dialogs)
{
    int imported = 0;
    for (const TSnippetMacro &macro : file.macros) {
        TMacroRec stored;
        stored.SetTitle(macro.title); // compared as the record keeps it
        int existing = -1;
        for (int i = 0; i < store.Count() && existing < 0; ++i)
            if (store.Macro(i).Title() == stored.Title())
                existing = i;
        if (existing < 0) {
            store.Add(macro.title, macro.body);
        } else {
            if (!dialogs.AskYesNo(LoadStr(txt::AskReplaceMacro).arg(stored.Title())))
                continue;
            store.Macro(existing).SetBody(macro.body);
        }
        ++imported;
    }
    return imported;
}

QString SnippetReport(const TSnippetFile &file, int imported)
{
    QStringList lines{LoadStr(txt::SnippetsImported).arg(file.fileName).arg(imported).arg(file.snippets)};
    lines << file.notes.Lines();
    return lines.join(QLatin1Char('\n'));
}

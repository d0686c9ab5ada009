#include "htmlview/patches.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>
#include <random>
#include <set>

namespace zv {
namespace {

using nlohmann::json;

// A browser stand-in: keeps the nodes it was sent and applies batches to them the way
// the client page does, so a test can compare what it shows with the document.
class mirror {
 public:
  explicit mirror(json root) : root_(std::move(root)) {}

  // Applies one batch; false (with a reason) when an op names a node it does not hold
  // or leaves a uid in two places.
  bool apply(const json& ops, std::string& why) {
    for (const json& op : ops) {
      if (!applyOne(op, why)) {
        why += " in " + op.dump();
        return false;
      }
      std::set<std::uint64_t> uids;
      if (!uniqueUids(root_, uids)) {
        why = "a uid shows twice after " + op.dump();
        return false;
      }
    }
    return true;
  }
  json shown() const { return normalized(root_); }

  // Same text in one string, no empty strings, state 0 left out.
  static json normalized(const json& node) {
    json out = node;
    if (out.contains("s") && out["s"] == 0) out.erase("s");
    if (!out.contains("c")) return out;
    json c = json::array();
    for (const json& k : node["c"]) {
      if (k.is_string()) {
        if (k.get<std::string>().empty()) continue;
        if (!c.empty() && c.back().is_string()) {
          c.back() = c.back().get<std::string>() + k.get<std::string>();
          continue;
        }
        c.push_back(k);
      } else {
        c.push_back(normalized(k));
      }
    }
    out["c"] = std::move(c);
    return out;
  }

 private:
  static bool uniqueUids(const json& node, std::set<std::uint64_t>& seen) {
    if (!seen.insert(node["u"].get<std::uint64_t>()).second) return false;
    if (node.contains("c")) {
      for (const json& k : node["c"]) {
        if (k.is_object() && !uniqueUids(k, seen)) return false;
      }
    }
    return true;
  }

  // The node with the uid and its parent (null for the root).
  static json* find(json& node, std::uint64_t uid, json** parent) {
    if (node["u"] == uid) return &node;
    if (!node.contains("c")) return nullptr;
    for (json& k : node["c"]) {
      if (!k.is_object()) continue;
      if (k["u"] == uid) {
        *parent = &node;
        return &k;
      }
      if (json* found = find(k, uid, parent)) return found;
    }
    return nullptr;
  }

  bool applyOne(const json& op, std::string& why) {
    const std::string kind = op.at("op");
    json* parent = nullptr;
    if (kind == "insert") {
      json* p = find(root_, op.at("parent"), &parent);
      if (!p) return why = "unknown parent", false;
      json& c = (*p)["c"];
      // insertBefore(children[index]): element entries count, text does not.
      std::size_t elements = 0;
      std::size_t at = c.size();
      for (std::size_t i = 0; i < c.size(); ++i) {
        if (c[i].is_object() && elements++ == op.at("index").get<std::size_t>()) {
          at = i;
          break;
        }
      }
      c.insert(c.begin() + std::ptrdiff_t(at), op.at("node"));
      return true;
    }
    json* node = find(root_, op.at("u"), &parent);
    if (!node) return why = "unknown uid", false;
    if (kind == "remove") {
      if (!parent) return why = "removing the root", false;
      json& c = (*parent)["c"];
      for (std::size_t i = 0; i < c.size(); ++i) {
        if (c[i].is_object() && c[i]["u"] == op.at("u")) {
          c.erase(c.begin() + std::ptrdiff_t(i));
          break;
        }
      }
    } else if (kind == "replace") {
      *node = op.at("node");
    } else if (kind == "content") {
      (*node)["c"] = op.at("c");
    } else if (kind == "attr") {
      json& a = (*node)["a"];
      auto it = std::find_if(a.begin(), a.end(), [&](const json& p) { return p[0] == op["name"]; });
      if (op.at("value").is_null()) {
        if (it != a.end()) a.erase(it);
      } else if (it != a.end()) {
        (*it)[1] = op["value"];
      } else {
        a.push_back(json::array({op["name"], op["value"]}));
      }
    } else if (kind == "state") {
      (*node)["s"] = op.at("s");
    } else if (kind == "value") {
      (*node)["v"] = op.at("v");
    } else if (kind != "scroll" && kind != "focus") {
      return why = "unexpected op", false;
    }
    return true;
  }

  json root_;
};

json ops(document& doc) {
  return doc.takeBatch();
}

// The "a" member: [[name, value], ...].
json pairs(std::initializer_list<std::pair<const char*, const char*>> list) {
  json a = json::array();
  for (const auto& [name, value] : list) a.push_back(json::array({name, value}));
  return a;
}

// Each mutation of a connected element gives its operation; detached ones give none.
TEST(Patches, OneOperationPerMutation) {
  document doc;
  doc.load("<div id=d title=t>x</div><input id=i><ul id=l><li id=a>a</li><li id=b>b</li></ul>");
  doc.snapshot();
  element& d = *doc.byId("d");
  const auto u = [&](const char* id) { return doc.byId(id)->uid(); };
  const std::uint64_t a = u("a");
  const std::uint64_t b = u("b");
  struct step {
    const char* what;
    std::function<void()> change;
    json expected;
  };
  elementRef detached;
  const step steps[] = {
      {"attribute",
       [&] { d.setAttribute("title", "u"); },
       {{{"op", "attr"}, {"u", d.uid()}, {"name", "title"}, {"value", "u"}}}},
      {"attribute removed",
       [&] { d.removeAttribute("TITLE"); },
       {{{"op", "attr"}, {"u", d.uid()}, {"name", "title"}, {"value", nullptr}}}},
      {"style",
       [&] { d.setVisible(false); },
       {{{"op", "attr"}, {"u", d.uid()}, {"name", "style"}, {"value", "display:none;"}}}},
      {"states",
       [&] { d.setStates(stateCurrent | stateChecked, 0); },
       {{{"op", "state"}, {"u", d.uid()}, {"s", 3}}}},
      {"same states", [&] { d.setStates(stateCurrent, 0); }, json::array()},
      {"value",
       [&] { doc.byId("i")->setValue("v"); },
       {{{"op", "value"}, {"u", u("i")}, {"v", "v"}}}},
      {"text", [&] { d.setText("y"); }, {{{"op", "content"}, {"u", d.uid()}, {"c", {"y"}}}}},
      {"remove", [&] { detached = doc.byId("a")->detach(); }, {{{"op", "remove"}, {"u", a}}}},
      {"detached changes", [&] { detached->setAttribute("k", "1"); }, json::array()},
      {"insert",
       [&] { doc.byId("l")->insert(detached, 1); },
       {{{"op", "insert"},
         {"parent", u("l")},
         {"index", 1},
         {"node",
          {{"u", a}, {"tag", "li"}, {"a", pairs({{"id", "a"}, {"k", "1"}})}, {"c", {"a"}}}}}}},
      {"sort",
       [&] {
         doc.byId("l")->sortChildren(
             0, 2, [](const element& x, const element& y) { return x.text().compare(y.text()); });
       },
       {{{"op", "content"},
         {"u", u("l")},
         {"c",
          {{{"u", a}, {"tag", "li"}, {"a", pairs({{"id", "a"}, {"k", "1"}})}, {"c", {"a"}}},
           {{"u", b}, {"tag", "li"}, {"a", pairs({{"id", "b"}})}, {"c", {"b"}}}}}}}},
      {"scroll and focus",
       [&] {
         doc.byId("b")->scrollIntoView();
         doc.byId("i")->focus();
       },
       {{{"op", "scroll"}, {"u", b}},
        {{"op", "state"}, {"u", u("i")}, {"s", stateFocus}},
        {{"op", "focus"}, {"u", u("i")}}}},
      {"update",
       [&] { doc.byId("b")->update(); },
       {{{"op", "replace"},
         {"u", b},
         {"node", {{"u", b}, {"tag", "li"}, {"a", pairs({{"id", "b"}})}, {"c", {"b"}}}}}}},
  };
  for (const step& s : steps) {
    s.change();
    EXPECT_EQ(ops(doc), s.expected) << s.what;
    EXPECT_FALSE(doc.hasChanges()) << s.what;
  }
}

// Changes to a node that goes whole in the same batch need no operations of their own;
// repeated attribute, state and value changes keep the first place and the last value.
TEST(Patches, Coalescing) {
  document doc;
  doc.load("<ul id=l><li id=a>a</li></ul><p id=p>p</p>");
  doc.snapshot();
  elementRef row = doc.createElement("li");
  doc.byId("l")->append(row);
  row->setAttribute("tlgID", "00:1A");
  row->setStates(stateCurrent, 0);
  row->setInnerHtml("<span>new</span>");
  row->child(0)->setAttribute("class", "caption");
  element& p = *doc.byId("p");
  p.setAttribute("title", "1");
  p.setStates(stateChecked, 0);
  p.setAttribute("title", "2");
  p.setStates(0, stateChecked);
  p.setStates(stateExpanded, 0);
  json batch = ops(doc);
  ASSERT_EQ(batch.size(), 3u) << batch.dump();
  EXPECT_EQ(batch[0]["op"], "insert");
  EXPECT_EQ(batch[0]["node"], json({{"u", row->uid()},
                                    {"tag", "li"},
                                    {"a", pairs({{"tlgID", "00:1A"}})},
                                    {"s", stateCurrent},
                                    {"c",
                                     {{{"u", row->child(0)->uid()},
                                       {"tag", "span"},
                                       {"a", pairs({{"class", "caption"}})},
                                       {"c", {"new"}}}}}}));
  EXPECT_EQ(batch[1], json({{"op", "attr"}, {"u", p.uid()}, {"name", "title"}, {"value", "2"}}));
  EXPECT_EQ(batch[2], json({{"op", "state"}, {"u", p.uid()}, {"s", stateExpanded}}));
  // Inserted and removed in one batch: the browser still gets both, in order.
  elementRef gone = doc.createElement("li");
  doc.byId("l")->append(gone);
  gone->remove();
  batch = ops(doc);
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0]["op"], "insert");
  EXPECT_EQ(batch[1], json({{"op", "remove"}, {"u", gone->uid()}}));
}

// Pending nodes are written early when a fresh node leaves the tree; a change made
// after that must not be merged into an operation that comes before the written node.
TEST(Patches, ChangesAfterAnEarlyWriteKeepTheirPlace) {
  document doc;
  doc.load("<div id=box><p id=p>x</p></div>");
  mirror browser(doc.snapshot());
  element& p = *doc.byId("p");
  p.setAttribute("title", "1");
  doc.byId("box")->update();  // the box goes whole, p inside it
  elementRef passing = doc.createElement("i");
  doc.root().append(passing);
  passing->remove();  // a fresh node leaves: the box is written now, with title 1
  p.setAttribute("title", "2");
  json batch = doc.takeBatch();
  std::string why;
  ASSERT_TRUE(browser.apply(batch, why)) << why;
  EXPECT_EQ(browser.shown(), mirror::normalized(doc.nodeJson(doc.root()))) << batch.dump();
}

// A batch that nobody takes stops growing: it becomes the whole tree once.
TEST(Patches, UntakenBatchesStopGrowing) {
  document doc;
  doc.load("<p id=p>x</p>");
  element& p = *doc.byId("p");
  for (std::size_t i = 0; i < patchRecorder::maxPendingOps; ++i) p.scrollIntoView();
  p.setAttribute("title", "last");
  json batch = doc.takeBatch();
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(batch[0]["op"], "replace");
  EXPECT_EQ(batch[0]["u"], doc.root().uid());
  EXPECT_EQ(batch[0]["node"]["c"][0]["a"][1], json::array({"title", "last"}));
}

// Long lists go lazily: the node has a count, rows come on request, and changes to
// the list's length go as the count.
TEST(Patches, LazyLists) {
  document doc;
  doc.setLazyThreshold(4);
  std::string html = "<table id=t>";
  for (int i = 0; i < 6; ++i) html += "<tr id=r" + std::to_string(i) + "><td>" + std::to_string(i);
  doc.load(html + "</table><ul id=small><li>1<li>2<li>3<li>4</ul>");
  json root = doc.snapshot();
  element& t = *doc.byId("t");
  json list = root["c"][0];
  EXPECT_EQ(list["lazy"], json({{"count", 6}}));
  EXPECT_FALSE(list.contains("c"));
  EXPECT_TRUE(root["c"][1].contains("c"));

  json rows = doc.rows(t.uid(), 2, 4);
  EXPECT_EQ(rows["u"], t.uid());
  EXPECT_EQ(rows["from"], 2);
  EXPECT_EQ(rows["count"], 6);
  ASSERT_EQ(rows["nodes"].size(), 2u);
  EXPECT_EQ(rows["nodes"][0]["u"], doc.byId("r2")->uid());
  EXPECT_EQ(doc.rows(t.uid(), 5, 100)["nodes"].size(), 1u);
  EXPECT_TRUE(doc.rows(999999999, 0, 1).is_null());

  // Rows added, removed or reordered: one count per list and batch.
  t.append(doc.createElement("tr"));
  doc.byId("r0")->remove();
  t.sortChildren(0, t.childCount(),
                 [](const element& a, const element& b) { return b.index() < a.index() ? -1 : 1; });
  // A change inside a row goes as usual (the browser drops it when it lacks the row).
  doc.byId("r3")->setStates(stateCurrent, 0);
  // Scrolling to a row names its place too: the browser may not hold the row.
  doc.byId("r3")->scrollIntoView();
  json batch = ops(doc);
  EXPECT_EQ(
      batch,
      json({{{"op", "count"}, {"u", t.uid()}, {"count", 6}},
            {{"op", "state"}, {"u", doc.byId("r3")->uid()}, {"s", stateCurrent}},
            {{"op", "scroll"}, {"u", doc.byId("r3")->uid()}, {"list", t.uid()}, {"index", 3}}}));

  // A list that grows past the threshold is sent again, now lazily.
  element& small = *doc.byId("small");
  small.append(doc.createElement("li"));
  small.append(doc.createElement("li"));
  batch = ops(doc);
  ASSERT_EQ(batch.size(), 1u) << batch.dump();
  EXPECT_EQ(batch[0]["op"], "replace");
  EXPECT_EQ(batch[0]["node"]["lazy"], json({{"count", 6}}));
  small.child(0)->remove();
  EXPECT_EQ(ops(doc), json({{{"op", "count"}, {"u", small.uid()}, {"count", 5}}}));
  // New content for a lazy list goes as the whole node, lazy or not.
  small.setInnerHtml("<li>only</li>");
  batch = ops(doc);
  ASSERT_EQ(batch.size(), 1u) << batch.dump();
  EXPECT_EQ(batch[0]["op"], "replace");
  EXPECT_EQ(batch[0]["node"]["c"].size(), 1u);
  small.append(doc.createElement("li"));
  EXPECT_EQ(ops(doc)[0]["op"], "insert") << "no longer lazy";
}

// Rows built when needed: a hollow row gets its content from the filler whenever it is
// written (snapshot, insert, rows answer), once, and no operation repeats it.
TEST(Patches, HollowRowsAreFilledOnTheirWayOut) {
  document doc;
  doc.load("<ul id=list><li n=a></li><li n=b></li></ul>");
  element& list = *doc.byId("list");
  int calls = 0;
  doc.setRowFiller(list, [&](const element& row) {
    ++calls;
    return "<b>" + std::string(*row.attribute("n")) + "</b>";
  });
  json root = doc.snapshot();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(root["c"][0]["c"][0]["c"][0]["c"], json::array({"a"})) << root.dump();

  elementRef c = doc.createElement("li");
  c->setAttribute("n", "c");
  list.append(c);
  json batch = ops(doc);
  ASSERT_EQ(batch.size(), 1u) << batch.dump();
  EXPECT_EQ(batch[0]["node"]["c"][0]["c"], json::array({"c"}));
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(c->text(), "c");  // the content stays: asked for once
  EXPECT_TRUE(ops(doc).empty());

  // Lazily: only the rows asked for are made.
  doc.setLazyThreshold(2);
  for (const char* n : {"d", "e", "f"}) {
    elementRef row = doc.createElement("li");
    row->setAttribute("n", n);
    list.append(row);
  }
  ops(doc);
  json rows = doc.rows(list.uid(), 4, 5);
  EXPECT_EQ(rows["nodes"][0]["c"][0]["c"], json::array({"e"}));
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(list.child(3)->childCount(), 0u);  // "d" still hollow
  doc.fillRow(*list.child(3));
  EXPECT_EQ(list.child(3)->text(), "d");

  // Without a filler (or outside its list) nothing is filled.
  doc.setRowFiller(list, {});
  EXPECT_EQ(doc.rows(list.uid(), 5, 6)["nodes"][0]["c"], json::array());
  EXPECT_EQ(calls, 5);
}

// Whatever the mutations, a browser that applies every batch shows the document: no
// operation names a node it lacks and no uid is ever in two places. Covers moves into
// and out of nodes inserted in the same batch, which the recorder must order right.
TEST(Patches, RandomEditsKeepABrowserInStep) {
  std::mt19937 random(20240607);
  auto pick = [&](std::size_t n) { return std::size_t(random() % n); };
  for (int run = 0; run < 40; ++run) {
    document doc;
    doc.load(
        "<div id=a>t<p>x</p><p>y<b>z</b></p></div><ul id=u><li>1</li><li>2</li><li>3</li></ul>"
        "<input id=i><textarea id=ta>q</textarea>");
    mirror browser(doc.snapshot());
    std::vector<elementRef> pool;
    for (int round = 0; round < 25; ++round) {
      for (int change = 0; change < 6; ++change) {
        std::vector<elementRef> all = doc.selectAll("*");
        all.push_back(&doc.root());
        for (elementRef& e : pool) all.push_back(e);
        elementRef e = all[pick(all.size())];
        switch (pick(11)) {
          case 0:
            e->setAttribute("k" + std::to_string(pick(3)), std::to_string(pick(5)));
            break;
          case 1:
            e->removeAttribute("k" + std::to_string(pick(3)));
            break;
          case 2:
            e->setStates(std::uint32_t(1) << pick(6), std::uint32_t(1) << pick(6));
            break;
          case 3:
            if (e->tag() != "html") e->setText(std::to_string(pick(100)));
            break;
          case 4:
            if (e->tag() != "html") e->setInnerHtml("<i>n</i>w<s><em>m</em></s>");
            break;
          case 5: {
            elementRef fresh = doc.createElement("span");
            fresh->setText("f");
            e->insert(fresh, pick(e->childCount() + 1));
            pool.push_back(fresh);
            break;
          }
          case 6: {
            elementRef target = all[pick(all.size())];
            if (e->tag() != "html" && !e->contains(*target)) {
              target->insert(e, pick(target->childCount() + 1));
            }
            break;
          }
          case 7:
            if (e->tag() != "html") pool.push_back(e->detach());
            break;
          case 8: {
            elementRef other = all[pick(all.size())];
            if (e->parent() && other->parent() && !e->contains(*other) && !other->contains(*e))
              element::swap(*e, *other);
            break;
          }
          case 9:
            e->sortChildren(0, e->childCount(), [](const element& x, const element& y) {
              return int(y.uid() % 7) - int(x.uid() % 7);
            });
            break;
          case 10:
            if (e->hasValue()) {
              e->setValue(std::to_string(pick(9)));
            } else {
              e->update();
            }
            break;
        }
      }
      std::string why;
      ASSERT_TRUE(browser.apply(doc.takeBatch(), why))
          << "run " << run << " round " << round << ": " << why;
      ASSERT_EQ(browser.shown(), mirror::normalized(doc.nodeJson(doc.root())))
          << "run " << run << " round " << round;
    }
  }
}

}  // namespace
}  // namespace zv

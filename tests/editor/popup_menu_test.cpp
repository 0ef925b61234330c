// Popup menus: the insertion rule, prefixes, check marks, flags and
// submenus; and what the memory host does when a menu is shown.
#include "WDL/IPlug/IPopupMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor_test_util.h"

namespace {

std::vector<std::string> Texts(const IPopupMenu& menu)
{
  std::vector<std::string> v;
  for (int i = 0; i < menu.GetNItems(); ++i) v.push_back(menu.GetItemText(i));
  return v;
}

}  // namespace

TEST(IPopupMenu, InsertionRuleForEveryForm)
{
  struct Case
  {
    int index;
    std::vector<std::string> expected;
  } cases[] = {
    {-1, {"a", "b", "new"}},  // appends
    {-3, {"new", "a", "b"}},  // other negatives count as 0
    {0, {"new", "a", "b"}},
    {1, {"a", "new", "b"}},
    {2, {"a", "b", "new"}},   // at the end
    {5, {"a", "b", "new"}},   // past the end appends
  };
  for (const Case& c : cases)
  {
    for (int form = 0; form < 4; ++form)
    {
      IPopupMenu menu, sub;
      menu.AddItem("a");
      menu.AddItem("b");
      switch (form)
      {
        case 0: menu.AddItem("new", c.index); break;
        case 1: menu.AddItem(new IPopupMenuItem("new"), c.index); break;
        case 2: menu.AddItem("new", c.index, &sub); break;
        case 3: ASSERT_NE(menu.AddSeparator(c.index), nullptr); break;
      }
      std::vector<std::string> expected = c.expected;
      if (form == 3)
        for (std::string& s : expected)
          if (s == "new") s = "";
      EXPECT_EQ(Texts(menu), expected) << "index " << c.index << " form " << form;
    }
  }
}

TEST(IPopupMenu, ItemsFlagsAndLookups)
{
  IPopupMenu menu, sub;
  IPopupMenuItem* plain = menu.AddItem("plain");
  IPopupMenuItem* off = menu.AddItem("off", -1, IPopupMenuItem::kDisabled | IPopupMenuItem::kTitle);
  IPopupMenuItem* withSub = menu.AddItem("more", &sub);
  IPopupMenuItem* sep = menu.AddSeparator();

  EXPECT_EQ(plain->GetFlags(), IPopupMenuItem::kNoFlags);
  EXPECT_TRUE(plain->IsSelectable());
  EXPECT_FALSE(off->GetEnabled());
  EXPECT_TRUE(off->GetIsTitle());
  EXPECT_FALSE(off->IsSelectable());
  EXPECT_EQ(withSub->GetSubmenu(), &sub);
  EXPECT_EQ(withSub->GetFlags(), 0);
  EXPECT_FALSE(withSub->IsSelectable());
  EXPECT_EQ(sep->GetFlags(), IPopupMenuItem::kSeparator);
  EXPECT_STREQ(sep->GetText(), "");
  EXPECT_FALSE(sep->IsSelectable());

  EXPECT_EQ(menu.GetItem(-1), nullptr);
  EXPECT_EQ(menu.GetItem(4), nullptr);
  EXPECT_STREQ(menu.GetItemText(7), "");
  EXPECT_STREQ(menu.GetItemText(-1), "");
  EXPECT_EQ(menu.AddItem(static_cast<IPopupMenuItem*>(nullptr)), nullptr);
  EXPECT_EQ(menu.GetNItems(), 4);
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
  EXPECT_FALSE(menu.GetCanMultiCheck());
  menu.SetMultiCheck(true);
  EXPECT_TRUE(menu.GetCanMultiCheck());
}

TEST(IPopupMenu, CheckMarks)
{
  IPopupMenu menu;
  for (const char* t : {"a", "b", "c"}) menu.AddItem(t, -1, IPopupMenuItem::kChecked | IPopupMenuItem::kTitle);
  menu.CheckItemAlone(1);
  EXPECT_EQ((std::vector<bool>{menu.IsItemChecked(0), menu.IsItemChecked(1), menu.IsItemChecked(2)}),
            (std::vector<bool>{false, true, false}));
  EXPECT_TRUE(menu.GetItem(0)->GetIsTitle());  // other flags stay
  menu.CheckItemAlone(9);
  EXPECT_FALSE(menu.IsItemChecked(0) || menu.IsItemChecked(1) || menu.IsItemChecked(2));

  EXPECT_TRUE(menu.CheckItem(2, true));
  EXPECT_TRUE(menu.IsItemChecked(2));
  EXPECT_TRUE(menu.CheckItem(2, false));
  EXPECT_FALSE(menu.IsItemChecked(2));
  EXPECT_FALSE(menu.CheckItem(3, true));
  EXPECT_FALSE(menu.CheckItem(-1, true));
  EXPECT_FALSE(menu.IsItemChecked(3));
}

TEST(IPopupMenu, PrefixesAndLabels)
{
  IPopupMenu menu;
  for (int i = 1; i <= 12; ++i) menu.AddItem(("item" + std::to_string(i)).c_str());
  menu.AddSeparator(2);  // separators count in the numbering

  struct Case
  {
    int prefix;
    int index;
    const char* label;
  } cases[] = {
    {0, 0, "item1"},        {1, 0, "1: item1"},    {1, 12, "13: item12"}, {2, 4, "05: item4"},
    {2, 9, "10: item9"},    {3, 0, "001: item1"},  {3, 2, "003: "},       {2, 13, ""},
  };
  for (const Case& c : cases)
  {
    menu.SetPrefix(c.prefix);
    WDL_String label("junk");
    menu.GetItemLabel(c.index, &label);
    EXPECT_STREQ(label.Get(), c.label) << "prefix " << c.prefix << " index " << c.index;
  }
  menu.SetPrefix(2);
  for (int bad : {4, -1, 100})
  {
    menu.SetPrefix(bad);
    EXPECT_EQ(menu.GetPrefix(), 2);
  }
}

// The menu is not the owner of its submenus: deleting the parent leaves them.
TEST(IPopupMenu, SubmenusOutliveTheirParent)
{
  IPopupMenu sub;
  sub.AddItem("x");
  {
    IPopupMenu parent;
    parent.AddItem("sub", &sub);
  }
  EXPECT_EQ(sub.GetNItems(), 1);
}

TEST(IGraphicsMemory, ChoosingFromASubmenuReturnsThatSubmenu)
{
  editor_test::Editor ed;
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  IPopupMenu top, sub;
  top.AddItem("one");
  top.AddItem("more", &sub);
  sub.AddItem("s0");
  sub.AddItem("s1");
  sub.AddItem("s2");
  sub.AddItem("s3", -1, IPopupMenuItem::kDisabled);
  top.SetPrefix(1);

  IRECT area(1, 2, 3, 4);
  g->mMenuChoices = {{1, 2}, {}, {1}, {1, 3}, {0}};
  EXPECT_EQ(g->CreateIPopupMenu(&top, &area), &sub);
  EXPECT_EQ(sub.GetChosenItemIdx(), 2);
  EXPECT_EQ(top.GetChosenItemIdx(), -1);
  EXPECT_EQ(g->CreateIPopupMenu(&top, &area), nullptr);  // nothing chosen
  EXPECT_EQ(g->CreateIPopupMenu(&top, &area), nullptr);  // a submenu entry is no choice
  EXPECT_EQ(g->CreateIPopupMenu(&top, &area), nullptr);  // nor a disabled item
  EXPECT_EQ(sub.GetChosenItemIdx(), 2);                  // untouched when nothing was chosen
  EXPECT_EQ(g->CreateIPopupMenu(&top, &area), &top);
  EXPECT_EQ(top.GetChosenItemIdx(), 0);

  ASSERT_EQ(g->mMenus.size(), 5u);
  EXPECT_EQ(g->mMenus[0].mLabels, (std::vector<std::string>{"1: one", "2: more", ">s0", ">s1", ">s2", ">s3"}));
  EXPECT_EQ(g->mMenus[0].mRect, area);

  g->CloseWindow();  // no window: no menu
  g->mMenuChoices = {{0}};
  EXPECT_EQ(g->CreateIPopupMenu(&top, &area), nullptr);
  EXPECT_EQ(g->mMenus.size(), 5u);
}

// Lists nested in list cells, far deeper than any real use: copying, comparing, converting,
// sorting and freeing them must not depend on the stack, so all of it runs on a small one.
#include <memory>

#include "smallstack.h"
#include "testhost.h"

using namespace zqtest;

namespace {

const int kDeep = 100000;

// A list of one list column and one line whose cell holds the list before it, depth times
// over; the innermost list holds the integer leaf. Each level is moved in, not copied.
EXTfldval nested(int depth, qlong leaf) {
  auto inner = std::make_unique<EXTqlist>(qfalse);
  inner->addCol(fftInteger, 0, 0, nullptr);
  EXTfldval cell;
  inner->getColValRef(inner->insertRow(), 1, cell, qtrue);
  cell.setLong(leaf);
  for (int i = 1; i < depth; ++i) {
    auto outer = std::make_unique<EXTqlist>(qfalse);
    outer->addCol(fftList, 0, 0, nullptr);
    EXTfldval ref;
    outer->getColValRef(outer->insertRow(), 1, ref, qtrue);
    ref.setList(inner.get(), qtrue);
    inner = std::move(outer);
  }
  EXTfldval v;
  v.setList(inner.get(), qtrue);
  return v;
}

// The integer at the bottom of a nested list, found by walking down through cell references.
qlong leafOf(const EXTfldval& v) {
  EXTqlist l;
  if (!v.getList(&l, qfalse)) return -1;
  for (;;) {
    if (l.rowCnt() < 1) return -1;
    EXTfldval cell;
    l.getColValRef(1, 1, cell, qfalse);
    if (cell.getType() != fftList) return cell.getLong();
    cell.getList(&l, qfalse);
  }
}

TEST(DeepLists, CopyCompareConvertSortAndFreeOnASmallStack) {
  bool done = false;
  ASSERT_TRUE(onSmallStack(256 * 1024, [&] {
    EXTfldval a = nested(kDeep, 7), b = nested(kDeep, 8);
    EXTfldval copy(a);  // deep copy
    EXPECT_EQ(leafOf(copy), 7);
    EXPECT_EQ(copy.compare(a), 0);
    EXPECT_LT(a.compare(b), 0);  // decided at the bottom
    EXPECT_GT(b.compare(copy), 0);

    EXTfldval row(a);
    ASSERT_TRUE(row.conv(fftRow));
    EXPECT_EQ(row.getType(), fftRow);

    // A list of two deep lists, sorted by them: the sort compares them all the way down.
    EXTqlist both(qfalse);
    both.addCol(fftList, 0, 0, nullptr);
    for (EXTfldval* v : {&b, &a}) {
      EXTfldval ref;
      both.getColValRef(both.insertRow(), 1, ref, qtrue);
      ref = *v;
    }
    const qsortField byList{1, qfalse, qfalse};
    both.sort(&byList, 1);
    EXTfldval first;
    both.getColValRef(1, 1, first, qfalse);
    EXPECT_EQ(first.compare(a), 0);
    done = true;
    // a, b, copy, row and both are freed here, on the small stack.
  }));
  EXPECT_TRUE(done);
}

TEST(DeepLists, ShallowNestingKeepsItsContent) {
  const EXTfldval a = nested(3, 42);
  EXTfldval copy(a);
  EXPECT_EQ(leafOf(copy), 42);
  EXPECT_EQ(copy.compare(a), 0);
  EXPECT_NE(copy.compare(nested(3, 41)), 0);
  EXPECT_NE(copy.compare(nested(2, 42)), 0);
}

}  // namespace

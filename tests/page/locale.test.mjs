// Counts in sentences follow the browser's locale, not a fixed one.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ locale: 'de-DE' });

test('the linked-people count uses the locale\'s digit grouping (de-DE)', async () => {
  const sub = await app.run(() => {
    bulkImport = true;
    try {
      let previous = null;
      for (let i = 0; i < 1500; i++) {
        const id = addPerson({ name: 'Person ' + i });
        if (previous) addEdge(previous, id, 'sibling');
        previous = id;
      }
    } finally {
      bulkImport = false;
    }
    update();
    return $('branchSub').textContent;
  });
  assert.equal(sub, 'Long family pedigree · 1.500 linked people · use navigator to explore the tall map');
});

// Text helpers shared by the whole document: escaping, comparison keys, years, safe addresses, ids.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ enter: false });

const PNG = 'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==';

const cases = {
  html: [
    [null, ''],
    [undefined, ''],
    ['', ''],
    ['plain text', 'plain text'],
    [`<a href="x">Tom & 'Jerry'</a>`, '&lt;a href=&quot;x&quot;&gt;Tom &amp; &#39;Jerry&#39;&lt;/a&gt;'],
    ['&amp;', '&amp;amp;'],
    ['</script><img src=x onerror=alert(1)>', '&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;'],
    [0, '0'],
    [1850, '1850'],
    [false, 'false'],
  ],
  norm: [
    ["José  O'Brien", 'jose o brien'],
    ['jose o brien', 'jose o brien'],
    [null, ''],
    [undefined, ''],
    ['', ''],
    ['  Anna-Maria   SMITH  ', 'anna maria smith'],
    ['Ångström', 'angstrom'],
    ['Mu\u0308ller', 'muller'],
    ['ﬁsher', 'fisher'],
    ['ＡＢＣ ①', 'abc 1'],
    ['Straße', 'stra e'],
    ['***', ''],
    [1850, '1850'],
  ],
  placeYear: [
    ['c.1850', 1850],
    ['about 1850-1852', 1850],
    ['2150', null],
    ['850', null],
    ['1000', 1000],
    ['999', null],
    ['2099', 2099],
    ['2100', null],
    ['12 MAR 1901', 1901],
    ['BET 1900 AND 1910', 1900],
    ['1850s', 1850],
    ['abt.2024', 2024],
    ['', null],
    [null, null],
    [undefined, null],
    [1850, 1850],
  ],
  goodUrl: [
    ['https://example.com', 'https://example.com/'],
    ['HTTP://Example.COM/a b', 'http://example.com/a%20b'],
    ['  https://x.org/p?q=1#h  ', 'https://x.org/p?q=1#h'],
    ['https://user@host.example:8080/x', 'https://user@host.example:8080/x'],
    ['ftp://example.com/file', ''],
    ['javascript:alert(1)', ''],
    ['JaVaScRiPt:alert(1)', ''],
    [PNG, ''],
    ['file:///etc/passwd', ''],
    ['example.com', ''],
    ['//example.com/x', ''],
    ['http://', ''],
    ['', ''],
    [null, ''],
    [undefined, ''],
  ],
  photoSrc: [
    [PNG, PNG],
    ['data:image/jpeg;base64,/9j/4AAQSkZJRg==', 'data:image/jpeg;base64,/9j/4AAQSkZJRg=='],
    ['data:image/webp;base64,UklGRh4AAABXRUJQ', 'data:image/webp;base64,UklGRh4AAABXRUJQ'],
    ['DATA:IMAGE/PNG;BASE64,AAAA', 'DATA:IMAGE/PNG;BASE64,AAAA'],
    ['data:image/gif;base64,R0lGODlhAQABAAAAACw=', ''],
    ['data:image/svg+xml;base64,PHN2Zz4=', ''],
    ['data:image/jpg;base64,AAAA', ''],
    ['data:image/png;charset=utf-8;base64,AAAA', ''],
    ['data:image/png,AAAA', ''],
    ['data:image/png;base64,', ''],
    ['data:image/png;base64,AA AA', ''],
    ['data:image/png;base64,AAAA"><img src=x onerror=alert(1)>', ''],
    ['data:image/png;base64,AAAA\n', ''],
    ['javascript:alert(1)', ''],
    ['https://example.com/a.jpg', 'https://example.com/a.jpg'],
    ['ftp://example.com/a.png', ''],
    ['', ''],
    [null, ''],
  ],
};

for (const [fn, table] of Object.entries(cases))
  for (const [input, expected] of table)
    test(`${fn}(${JSON.stringify(input) ?? 'undefined'})`, async () =>
      assert.equal(await app.call(fn, input), expected));

test('uid: "p", the time in base 36, up to six random base-36 characters; no repeats', async () => {
  const { before, ids, after } = await app.run(() => {
    const before = Date.now();
    const ids = Array.from({ length: 300 }, () => uid());
    return { before, ids, after: Date.now() };
  });
  const timeLength = before.toString(36).length;
  for (const id of ids) {
    assert.match(id, /^p[0-9a-z]+$/);
    assert.ok(id.length > timeLength && id.length <= 1 + timeLength + 6, id);
    const time = parseInt(id.slice(1, 1 + timeLength), 36);
    assert.ok(time >= before && time <= after, `${id}: time part ${time} outside ${before}..${after}`);
  }
  assert.equal(new Set(ids).size, ids.length);
});

test('$ finds an element by id, nothing for an unknown id', async () => {
  assert.deepEqual(await app.run(() => [$('toast') === document.getElementById('toast'), $('noSuchElement') == null]),
    [true, true]);
});

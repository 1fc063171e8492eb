// Hostile text stays text; the document loads nothing from outside and allows no inline script by policy.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { useApp, DOCUMENT } from '../harness.mjs';

const app = useApp();

const HOSTILE = `<img src=x onerror=window.__pwned=1>"'</script><script>window.__pwned=2</script><b>&amp;`;

// Injected markup would show as an element the page never makes, or set window.__pwned.
const injected = () => app.run(() => ({
  pwned: window.__pwned,
  imgs: document.querySelectorAll('img[src="x"], img[onerror]').length,
  bold: [...document.querySelectorAll('b')].filter(b => b.textContent === '&amp;' || b.textContent === '&').length,
  scripts: [...document.scripts].filter(s => s.textContent.includes('__pwned')).length,
}));
const CLEAN = { pwned: undefined, imgs: 0, bold: 0, scripts: 0 };

test('a hostile name shows as text in the header title, and nothing runs', async () => {
  await app.build([{ name: HOSTILE, key: 'H', birthPlace: HOSTILE, occupation: HOSTILE, notes: HOSTILE, bio: HOSTILE,
    residence: HOSTILE, birth: HOSTILE, death: HOSTILE, deathPlace: HOSTILE, sex: HOSTILE,
    photo: 'javascript:window.__pwned=3' }]);
  await app.frames(3);
  assert.equal(await app.textContent('#branchTitle'), HOSTILE);
  assert.equal(await app.run(() => $('branchTitle').children.length), 0);
  await app.page.waitForTimeout(200);
  assert.deepEqual(await injected(), CLEAN);
});

test('a hostile name in the person panel and the search results stays text', async () => {
  const ids = await app.build([{ name: HOSTILE, key: 'H' }, 'Plain Person']);
  await app.run(id => { selected = id; update(); }, ids.H);
  await app.type('#search', 'img');
  await app.frames(2);
  await app.page.waitForTimeout(200);
  const r = await app.run(text => ({
    side: [$('sideBody').children.length > 0, $('sideBody').textContent.includes(text)],
    drop: [$('searchdrop').children.length > 0, $('searchdrop').textContent.includes(text)],
  }), HOSTILE);
  // Where the panel and the result list show anything, the name reads as itself.
  for (const [where, [filled, hasName]] of Object.entries(r))
    assert.ok(!filled || hasName, `${where} shows content but not the name as text`);
  assert.deepEqual(await injected(), CLEAN);
  await app.fill('#search', '');
  await app.press('Escape', '#search');
});

test('hostile dialog titles and labels are escaped', async () => {
  await app.run(text => modal(text, '<p>body</p>', text, closeModal), HOSTILE);
  assert.deepEqual(await app.run(() => [document.getElementById($('modalLayer').querySelector('[role="dialog"]')
    .getAttribute('aria-labelledby')).textContent, $('modalSave').textContent]), [HOSTILE, HOSTILE]);
  assert.deepEqual(await injected(), CLEAN);
  await app.call('closeModal');
});

test('no external reference: no <link>, no outside src, no outside url() or @import', async () => {
  const text = fs.readFileSync(DOCUMENT, 'utf8');
  const found = await app.run(text => {
    const doc = new DOMParser().parseFromString(text, 'text/html');
    const outside = v => /^\s*(https?:)?\/\//i.test(v || '');
    const bad = [];
    for (const el of doc.querySelectorAll('link')) bad.push('link ' + el.outerHTML.slice(0, 120));
    for (const el of doc.querySelectorAll('[src], [srcset], [poster], [data]')) {
      for (const attr of ['src', 'srcset', 'poster', 'data'])
        if (outside(el.getAttribute(attr))) bad.push(`${el.tagName} ${attr}=${el.getAttribute(attr)}`);
    }
    for (const el of doc.querySelectorAll('[href]:not(a)')) bad.push(`${el.tagName} href=${el.getAttribute('href')}`);
    for (const el of doc.querySelectorAll('iframe, object, embed, base')) bad.push(el.tagName);
    const css = [...doc.querySelectorAll('style')].map(s => s.textContent).join('\n') +
      [...doc.querySelectorAll('[style]')].map(el => el.getAttribute('style')).join('\n');
    for (const m of css.matchAll(/@import[^;]*|url\(\s*['"]?\s*(?:https?:)?\/\/[^)]*\)/gi)) bad.push('css ' + m[0].slice(0, 120));
    return bad;
  }, text);
  assert.deepEqual(found, []);
});

test('no outside request while the page starts', async () => {
  await app.reload();
  await app.page.waitForTimeout(300);
  const outside = app.requests.filter(u => !/^(file|data|blob|about):/i.test(u));
  assert.deepEqual(outside, []);
  await app.enter();
});

test('the content security policy allows no inline script that it did not list', async () => {
  const text = fs.readFileSync(DOCUMENT, 'utf8');
  const policies = await app.run(text => [...new DOMParser().parseFromString(text, 'text/html')
    .querySelectorAll('meta[http-equiv]')]
    .filter(m => m.getAttribute('http-equiv').toLowerCase() === 'content-security-policy')
    .map(m => m.getAttribute('content')), text);
  assert.equal(policies.length, 1, 'one policy meta element');
  const directives = Object.fromEntries(policies[0].split(';').map(d => d.trim().split(/\s+/))
    .filter(d => d[0]).map(([name, ...values]) => [name.toLowerCase(), values]));
  const scriptSrc = directives['script-src'] || directives['default-src'];
  assert.ok(scriptSrc, 'script-src (or default-src) is set');
  assert.ok(!scriptSrc.includes("'unsafe-inline'"), scriptSrc.join(' '));
  assert.ok(!scriptSrc.some(v => /^(https?:|\*|data:)/i.test(v)), scriptSrc.join(' '));
});

test('the policy lets the document\'s own scripts run and blocks injected inline handlers', async () => {
  assert.equal(await app.eval('typeof update'), 'function');
  const r = await app.run(() => new Promise(done => {
    const img = document.createElement('img');
    img.setAttribute('onerror', 'window.__pwned = 4');
    img.src = 'data:image/png;base64,AAAA';
    document.body.append(img);
    setTimeout(() => { img.remove(); done(window.__pwned); }, 200);
  }));
  app.expectConsole(/Content Security Policy|inline event handler/i);
  assert.equal(r, undefined);
});

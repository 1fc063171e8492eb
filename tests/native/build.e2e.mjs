// The built programs as files: imports only the Windows DLLs they may use, carry no language runtime,
// share the icon group, and the setup program carries the document, launcher and uninstaller as built.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import { decodePng } from './lib/png.mjs';
import { RT, iconGroup, icoImages, resources } from './lib/pe.mjs';
import { build, built } from './lib/wine.mjs';

const programs = [
  { name: 'Kinloom.exe', file: built.launcher, object: 'launcher.dir/launcher/launcher.cpp.obj',
    dlls: ['KERNEL32.dll', 'SHELL32.dll', 'USER32.dll'] },
  { name: 'Uninstall_Kinloom.exe', file: built.uninstaller, object: 'uninstaller.dir/uninstaller/uninstaller.cpp.obj',
    dlls: ['ADVAPI32.dll', 'KERNEL32.dll', 'SHELL32.dll', 'USER32.dll'] },
  { name: 'KinloomSetup.exe', file: built.setup, object: 'setup.dir/setup/setup.cpp.obj',
    dlls: ['ADVAPI32.dll', 'KERNEL32.dll', 'ole32.dll', 'SHELL32.dll', 'USER32.dll'] },
];
const ALLOWED = ['kernel32.dll', 'user32.dll', 'advapi32.dll', 'shell32.dll', 'ole32.dll'];

const objdump = (...args) => execFileSync('x86_64-w64-mingw32-objdump', args, { encoding: 'utf8' });

for (const p of programs) {
  test(`${p.name} imports only ${p.dlls.join(', ')}`, () => {
    const header = objdump('-p', p.file);
    const dlls = [...header.matchAll(/DLL Name: (\S+)/g)].map((m) => m[1]);
    assert.deepEqual(dlls, p.dlls);
    assert.ok(dlls.every((d) => ALLOWED.includes(d.toLowerCase())));
    assert.match(header, /Subsystem\s+00000002\s+\(Windows GUI\)/);
    assert.match(header, /Magic\s+020b\s+\(PE32\+\)/);
  });

  test(`${p.name} has no runtime: no constructors, no TLS, only Windows imports unresolved`, () => {
    const object = path.join(build, 'CMakeFiles', p.object);
    const sections = objdump('-h', object);
    for (const s of ['.ctors', '.init_array', '.tls', '.CRT', '.gcc_except_table'])
      assert.ok(!sections.includes(` ${s}`), `${s} section in ${p.object}`);
    const undefinedSymbols = execFileSync('x86_64-w64-mingw32-nm', ['-u', object], { encoding: 'utf8' })
      .split('\n').map((l) => l.trim().replace(/^U\s+/, '')).filter(Boolean);
    const foreign = undefinedSymbols.filter((s) => !/^__imp_|^(CLSID|IID)_/.test(s));
    assert.deepEqual(foreign, []);
    const tls = /Entry 9 ([0-9a-f]+) ([0-9a-f]+) Thread Storage Directory/.exec(objdump('-p', p.file));
    assert.ok(tls && /^0+$/.test(tls[1]) && /^0+$/.test(tls[2]), 'a TLS directory');
  });

  test(`${p.name} carries icon group 1: seven PNG images, 16 to 256 pixels, as drawn`, () => {
    const images = iconGroup(resources(fs.readFileSync(p.file)), 1);
    assert.deepEqual(images.map((i) => [i.width, i.height, i.bits]), [16, 24, 32, 48, 64, 128, 256].map((s) => [s, s, 32]));
    const drawn = icoImages(fs.readFileSync(path.join(build, 'kinloom.ico')));
    images.forEach((image, i) => {
      const png = decodePng(image.data);
      assert.equal(png.width, image.width);
      assert.ok(image.data.equals(drawn[i].data), `image ${image.width} differs from kinloom.ico`);
    });
  });
}

test('KinloomSetup.exe carries the document, launcher and uninstaller byte for byte', () => {
  const payload = resources(fs.readFileSync(built.setup)).get(RT.RCDATA);
  assert.deepEqual([...payload.keys()], [101, 102, 103]);
  assert.ok(payload.get(101).equals(fs.readFileSync(built.document)), 'Kinloom.html');
  assert.ok(payload.get(102).equals(fs.readFileSync(built.launcher)), 'Kinloom.exe');
  assert.ok(payload.get(103).equals(fs.readFileSync(built.uninstaller)), 'Uninstall_Kinloom.exe');
});

test('dist/ holds the programs as built', (t) => {
  const dist = path.dirname(built.document);
  const copies = programs.filter((p) => fs.existsSync(path.join(dist, p.name)));
  if (!copies.length) return t.skip('no programs copied next to the document');
  for (const p of copies) assert.ok(fs.readFileSync(path.join(dist, p.name)).equals(fs.readFileSync(p.file)), p.name);
});

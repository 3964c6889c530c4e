// Opens the remote-control page from the running program in headless Chromium, as a phone
// would, checks that all seven button pictures load, presses play/pause and waits for the frame
// to show the PC's name. Writes what it saw as JSON to the result file.
//   node press_play.mjs <port> <result file>
import { chromium } from 'playwright-core';
import { writeFileSync } from 'node:fs';

const [port, resultFile] = process.argv.slice(2);
const result = { pictures: 0, frameText: '', error: '' };
let browser;
try {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    // The machine has no network beyond loopback: keep Chromium from reaching out.
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
    timeout: 60000,
  });
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${port}/`, { waitUntil: 'load', timeout: 30000 });
  result.pictures = await page.evaluate(() =>
    [...document.images].filter((image) => image.complete && image.naturalWidth > 0).length);
  const pressed = page.waitForRequest((request) => request.url().endsWith('/host?m=pp'), { timeout: 15000 });
  await page.locator('img[src="GFX/pp_0.png"]').click();
  await pressed;
  const frame = page.frame({ name: 'host' });
  await frame.waitForURL(/m=pp$/, { timeout: 15000 });
  result.frameText = (await frame.locator('body').innerText()).trim();
  await page.screenshot({ path: resultFile.replace(/\.json$/, '.png') });
} catch (error) {
  result.error = String(error);
} finally {
  if (browser) await browser.close();
}
writeFileSync(resultFile, JSON.stringify(result));
process.exit(result.error ? 1 : 0);

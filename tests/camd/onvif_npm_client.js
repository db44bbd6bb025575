// npm's onvif package as a user would drive it against one simulated camera:
// discover, log in, read the network settings, change the gateway, the
// password and the address, reboot, and log in at the new address with the
// new password. Usage: node onvif_npm_client.js ADDRESS NEW_ADDRESS GATEWAY
// (NODE_PATH names the folder holding the onvif package). Exits 1 on the
// first failure, saying which step failed.
'use strict';
const onvif = require('onvif');

const [address, newAddress, gateway] = process.argv.slice(2);
const user = 'admin', oldPassword = '1234', newPassword = 'abcd';

function fail(step, err) {
  console.error(`FAIL: ${step}: ${err && err.message ? err.message : err}`);
  process.exit(1);
}
function call(cam, method, ...args) {
  return new Promise((resolve, reject) =>
    cam[method](...args, (err, data) => (err ? reject(err) : resolve(data))));
}
function connect(hostname, password) {
  return new Promise((resolve, reject) => {
    const cam = new onvif.Cam({hostname, port: 80, username: user, password, autoconnect: false, timeout: 5000});
    cam.connect(err => (err ? reject(err) : resolve(cam)));
  });
}
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

async function main() {
  const found = await new Promise((resolve, reject) =>
    onvif.Discovery.probe({timeout: 2000}, (err, cams) => (err ? reject(err) : resolve(cams))));
  const names = found.map(cam => cam.hostname);
  console.log('discovered', names.join(' '));
  if (!names.includes(address)) fail('discovery', `${address} not among ${names}`);

  const cam = await connect(address, oldPassword).catch(err => fail('login', err));
  const interfaces = await call(cam, 'getNetworkInterfaces').catch(err => fail('getNetworkInterfaces', err));
  const eth = Array.isArray(interfaces) ? interfaces[0] : interfaces;
  const manual = eth.IPv4.config.manual;
  console.log('read', manual.address, manual.prefixLength, eth.info.hwAddress);
  if (manual.address !== address) fail('getNetworkInterfaces', `address ${manual.address}`);

  await call(cam, 'setNetworkDefaultGateway', {IPv4Address: gateway}).catch(err => fail('setNetworkDefaultGateway', err));
  // The package reads the users back with the old password, which the camera
  // no longer takes: the change is proven by reading them with the new one.
  await call(cam, 'setUsers', [{username: user, password: newPassword, userLevel: 'Administrator'}]).catch(() => null);
  cam.password = newPassword;
  await call(cam, 'getUsers').catch(err => fail('setUsers (read back with the new password)', err));
  const set = await call(cam, 'setNetworkInterfaces', {
    interfaceToken: eth.$.token,
    networkInterface: {enabled: true, IPv4: {enabled: true, DHCP: false, manual: {address: newAddress, prefixLength: 24}}},
  }).catch(err => fail('setNetworkInterfaces', err));
  console.log('set address, reboot needed:', set.rebootNeeded);
  // The package follows the camera to its new address at once; one that
  // needs a reboot still answers at the old one until then.
  if (set.rebootNeeded === true) cam.hostname = address;
  else await sleep(300);
  await call(cam, 'systemReboot').catch(err => fail('systemReboot', err));

  let moved = null;
  for (let attempt = 0; attempt < 40 && !moved; ++attempt) {
    await sleep(250);
    moved = await connect(newAddress, newPassword).catch(() => null);
  }
  if (!moved) fail('login at the new address', 'no answer with the new password');
  const after = await call(moved, 'getNetworkInterfaces').catch(err => fail('getNetworkInterfaces after', err));
  const afterManual = (Array.isArray(after) ? after[0] : after).IPv4.config.manual;
  const afterGateway = await call(moved, 'getNetworkDefaultGateway').catch(err => fail('getNetworkDefaultGateway', err));
  console.log('after', afterManual.address, afterGateway.IPv4Address);
  if (afterManual.address !== newAddress || afterGateway.IPv4Address !== gateway) fail('read back', 'values differ');
  const old = await connect(newAddress, oldPassword).catch(err => fail('connect with the old password', err));
  const refused = await call(old, 'getDeviceInformation').then(() => false, () => true);
  if (!refused) fail('old password', 'still accepted');
  console.log('PASS');
  process.exit(0);
}
main().catch(err => fail('unexpected', err));

'use strict';

import { formatPrice } from './format.js';
import api from './api.js';

const TAX_RATE = 0.2;
const cart = new Map();

/**
 * Adds a product to the cart, or raises its quantity.
 * @param {string} id the product id
 */
export function addToCart(id, quantity = 1) {
    const current = cart.get(id) ?? 0;
    cart.set(id, current + quantity);
    render();
}

export async function checkout() {
    const items = [...cart.entries()].map(([id, quantity]) => ({ id, quantity }));
    try {
        const response = await fetch('/api/checkout', {
            method: 'POST',
            headers: { 'Content-Type': 'application/json' },
            body: JSON.stringify({ items }),
        });
        const order = await response.json();
        console.log('order placed', order.id);
    } catch (error) {
        console.error(error);
    }
}

// Recompute the totals whenever the cart changes.
function render() {
    const list = document.querySelector('#cart');
    list.innerHTML = '';
    let total = 0;
    for (const [id, quantity] of cart) {
        const item = document.createElement('li');
        item.className = 'cart-item';
        item.textContent = `${id} × ${quantity}`;
        list.appendChild(item);
    }
    document.getElementById('total').textContent = formatPrice(total * (1 + TAX_RATE));
}

function applyDiscount(code) {
    if (!code) {
        return;
    } else if (code.startsWith("VIP")) {
        discount = 0.2;
    } else {
        discount = 0;
    }
    while (queue.length > 0) {
        queue.shift();
    }
    switch (code.length) {
        case 0:
            break;
    }
    for (let i = 0; i < items.length; i++) {
        items[i].price *= 1 - discount;
    }
    const card = document.querySelector('div.card');
}

test('adds numbers', () => {
    expect(add(2, 3)).toBe(5);
});

// Log the error and keep the cart.
let ex = null;
try {
    render();
} catch (ex) {
    console.warn(ex);
}

document.addEventListener('DOMContentLoaded', () => {
    const button = document.querySelector('button.checkout');
    button.addEventListener('click', checkout);
});

module.exports = { addToCart, checkout };
